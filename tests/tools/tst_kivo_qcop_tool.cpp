// kivo-qcop as a user runs it on the private session bus of this test: the bytes its send puts
// on a channel, the lines its listen prints for what others send, and its usage errors.
#include "KivoTestRoot.h"
#include "QCopChannel.h"
#include "ToolRun.h"

#include <QSignalSpy>
#include <QTest>

class tst_KIVO_QcopTool : public QObject {
    Q_OBJECT

private slots:
    void sendWritesData_data();
    void sendWritesData();
    void listenDecodes_data();
    void listenDecodes();
    void listenKeepsToItsChannels();
    void listenTimeout_data();
    void listenTimeout();
    void usageErrors_data();
    void usageErrors();

private:
    KivoTestRoot m_root;
};

namespace {

ToolRun runQcop(const QStringList &arguments)
{
    return runTool(QStringLiteral(KIVO_QCOP_TOOL), arguments);
}

// Starts a listener and waits until it says its subscriptions are in force.
bool startListener(QProcess &process, const QStringList &arguments, QByteArray *err)
{
    process.setReadChannel(QProcess::StandardError);
    process.start(QStringLiteral(KIVO_QCOP_TOOL),
                  QStringList{QStringLiteral("listen")} + arguments);
    while (!err->contains("listening on")) {
        if (!process.waitForReadyRead(20000)) {
            return false;
        }
        *err += process.readAll();
    }
    return true;
}

} // namespace

void tst_KIVO_QcopTool::sendWritesData_data()
{
    QTest::addColumn<QStringList>("data");
    QTest::addColumn<QByteArray>("expected");

    QTest::newRow("no data") << QStringList() << QByteArray();
    QTest::newRow("favourites response hi 5 lo 3")
        << QStringList{"int32:5", "int32:3"} << QByteArray::fromHex("00000005 00000003");
    QTest::newRow("int32 negative") << QStringList{"int32:-2"} << QByteArray::fromHex("fffffffe");
    QTest::newRow("int32 bit pattern in hex")
        << QStringList{"int32:0x80000000"} << QByteArray::fromHex("80000000");
    QTest::newRow("int8 count byte 200") << QStringList{"int8:200"} << QByteArray::fromHex("c8");
    QTest::newRow("int8 negative") << QStringList{"int8:-56"} << QByteArray::fromHex("c8");
    QTest::newRow("uint32 and int16")
        << QStringList{"uint32:4294967295", "int16:-2", "uint16:0x1234"}
        << QByteArray::fromHex("ffffffff fffe 1234");
    QTest::newRow("uint64 is hi then lo")
        << QStringList{"uint64:0x8000000000000001"} << QByteArray::fromHex("80000000 00000001");
    QTest::newRow("QString with a blank")
        << QStringList{"QString:Serving Cell"}
        << QByteArray::fromHex(
               "00000018 0053 0065 0072 0076 0069 006e 0067 0020 0043 0065 006c 006c");
    QTest::newRow("QString beyond Latin letters")
        << QStringList{QStringLiteral("QString:Z\u00fc\u20ac")}
        << QByteArray::fromHex("00000006 005a 00fc 20ac");
    QTest::newRow("empty QString") << QStringList{"QString:"} << QByteArray::fromHex("00000000");
    QTest::newRow("titles response") << QStringList{"int8:2", "QString:A", "QString:BC"}
                                     << QByteArray::fromHex("02 00000002 0041 00000004 0042 0043");
    QTest::newRow("--hex with blanks and colons")
        << QStringList{"--hex", "00 00 00 05:00000003"} << QByteArray::fromHex("0000000500000003");
    QTest::newRow("hex between typed values keeps the order")
        << QStringList{"int8:1", "--hex", "FF", "hex:aa", "int8:2"}
        << QByteArray::fromHex("01 ff aa 02");
}

void tst_KIVO_QcopTool::sendWritesData()
{
    QFETCH(QStringList, data);
    QFETCH(QByteArray, expected);

    const QByteArray message = "getFavouritesRsp(QString, QString)";
    QCopChannel channel("kivo_listen_channel");
    QSignalSpy received(&channel, &QCopChannel::received);
    const ToolRun result =
        runQcop(QStringList{"send", "kivo_listen_channel", QString::fromLatin1(message)} + data);
    QCOMPARE(result.exitCode, 0);
    QVERIFY(received.count() == 1 || received.wait(5000));
    QCOMPARE(received.count(), 1);
    QCOMPARE(received.at(0).at(0).toByteArray(), message);
    QCOMPARE(received.at(0).at(1).toByteArray().toHex(' '), expected.toHex(' '));
}

void tst_KIVO_QcopTool::listenDecodes_data()
{
    QTest::addColumn<QByteArray>("message");
    QTest::addColumn<QByteArray>("data");
    QTest::addColumn<QByteArray>("decoded");

    QTest::newRow("titles response")
        << QByteArray("getTiltlesRsp(QString, QString)")
        << QByteArray::fromHex(
               "02 00000018 0053 0065 0072 0076 0069 006e 0067 0020 0043 0065 006c 006c"
               "00000006 004e 0022 0031")
        << QByteArray("count=2 0=\"Serving Cell\" 1=\"N\\\"1\"");
    QTest::newRow("titles response with no titles")
        << QByteArray("getTiltlesRsp(QString, QString)") << QByteArray::fromHex("00")
        << QByteArray("count=0");
    QTest::newRow("favourites response, lo with its top bit")
        << QByteArray("getFavouritesRsp(QString, QString)")
        << QByteArray::fromHex("00000001 80000000")
        << QByteArray("hi=0x00000001 lo=0x80000000 bitmap=0x0000000180000000 bits=31,32");
    QTest::newRow("visibles response, nothing visible")
        << QByteArray("getVisiblesResponse(QString, Qstring)")
        << QByteArray::fromHex("00000000 00000000")
        << QByteArray("hi=0x00000000 lo=0x00000000 bitmap=0x0000000000000000 bits=none");
    QTest::newRow("set visibles request, bits 63 and 0")
        << QByteArray("setVisibles(QStrihg,QString)") << QByteArray::fromHex("80000000 00000001")
        << QByteArray("hi=0x80000000 lo=0x00000001 bitmap=0x8000000000000001 bits=0,63");
    QTest::newRow("set favourites request, bits 0 1 32 34")
        << QByteArray("setFavourites(QString,QString)") << QByteArray::fromHex("00000005 00000003")
        << QByteArray("hi=0x00000005 lo=0x00000003 bitmap=0x0000000500000003 bits=0,1,32,34");
    QTest::newRow("get request") << QByteArray("getTitles(QString,QString)") << QByteArray()
                                 << QByteArray("(empty)");

    QTest::newRow("truncated: count 200, no titles")
        << QByteArray("getTiltlesRsp(QString, QString)") << QByteArray::fromHex("c8")
        << QByteArray("malformed (count=200, title 0 missing or cut short) hex=c8");
    QTest::newRow("truncated: bitmap of 5 bytes")
        << QByteArray("getFavouritesRsp(QString, QString)") << QByteArray::fromHex("00000005 00")
        << QByteArray("malformed (8 bytes expected, 5 received) hex=00 00 00 05 00");
    QTest::newRow("trailing bytes after a bitmap")
        << QByteArray("getFavouritesRsp(QString, QString)")
        << QByteArray::fromHex("00000000 00000001 ab")
        << QByteArray("hi=0x00000000 lo=0x00000001 bitmap=0x0000000000000001 bits=0 "
                      "trailing=ab");

    QTest::newRow("unknown message")
        << QByteArray("hello") << QByteArray::fromHex("0102ff") << QByteArray("hex=01 02 ff");
    QTest::newRow("visibles response spelt with a capital S is unknown")
        << QByteArray("getVisiblesResponse(QString, QString)")
        << QByteArray::fromHex("00000000 00000001") << QByteArray("hex=00 00 00 00 00 00 00 01");
    QTest::newRow("unknown message without data")
        << QByteArray("ping") << QByteArray() << QByteArray("(empty)");
}

void tst_KIVO_QcopTool::listenDecodes()
{
    QFETCH(QByteArray, message);
    QFETCH(QByteArray, data);
    QFETCH(QByteArray, decoded);

    QProcess listener;
    QByteArray err;
    QVERIFY2(startListener(listener, {"--count", "1", "kivo_listen_channel"}, &err), err);
    QCopChannel::send("kivo_listen_channel", message, data);
    const ToolRun result = finishTool(listener, 20000);
    QCOMPARE(result.exitCode, 0);
    QCOMPARE(result.out, "kivo_listen_channel\t" + message + '\t' + decoded + '\n');
}

void tst_KIVO_QcopTool::listenKeepsToItsChannels()
{
    QProcess listener;
    QByteArray err;
    QVERIFY2(startListener(listener,
                           {"--count", "2", "fts_listen_channel", "kivo_listen_channel",
                            "fts_listen_channel"},
                           &err),
             err);
    QCopChannel::send("other_channel", "hello", QByteArray::fromHex("01"));
    QCopChannel::send("fts_listen_channel", "getFavourites(QString,QString)", QByteArray());
    QCopChannel::send("kivo_listen_channel", "hello", QByteArray::fromHex("02"));
    QCopChannel::send("fts_listen_channel", "hello", QByteArray::fromHex("03"));
    const ToolRun result = finishTool(listener, 20000);
    QCOMPARE(result.exitCode, 0);
    // A channel named twice is heard once; the third message on it comes after --count.
    QCOMPARE(result.out, QByteArray("fts_listen_channel\tgetFavourites(QString,QString)\t(empty)\n"
                                    "kivo_listen_channel\thello\thex=02\n"));
}

void tst_KIVO_QcopTool::listenTimeout_data()
{
    QTest::addColumn<QStringList>("options");
    QTest::addColumn<int>("exitCode");

    QTest::newRow("timeout alone ends normally") << QStringList{"--timeout", "100"} << 0;
    QTest::newRow("timeout before the count is short")
        << QStringList{"--timeout", "100", "--count", "1"} << 1;
}

void tst_KIVO_QcopTool::listenTimeout()
{
    QFETCH(QStringList, options);
    QFETCH(int, exitCode);

    const ToolRun result = runQcop(QStringList{"listen"} + options + QStringList{"quiet_channel"});
    QCOMPARE(result.exitCode, exitCode);
    QCOMPARE(result.out, QByteArray());
}

void tst_KIVO_QcopTool::usageErrors_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QByteArray>("why");

    // The arguments apart by blanks, and the reason the tool gives.
    const auto row = [](const char *name, const char *arguments, const char *why) {
        QTest::newRow(name) << QString::fromLatin1(arguments).split(' ', Qt::SkipEmptyParts)
                            << QByteArray(why);
    };
    row("no command", "", "no command");
    row("unknown command", "post a b", "unknown command \"post\"");
    row("send without a message", "send fts_listen_channel", "send needs a channel");
    row("unknown type", "send c m int33:1", "unknown type \"int33\"");
    row("item without a type", "send c m 5", "\"5\" is not TYPE:VALUE");
    row("int8 too big", "send c m int8:256", "256 does not fit in 8 bits");
    row("int32 too small", "send c m int32:-2147483649", "-2147483649 does not fit in 32 bits");
    row("unsigned negative", "send c m uint16:-1", "-1 does not fit in 16 bits");
    row("not a number", "send c m int32:five", "not a number: \"five\"");
    row("odd hex", "send c m --hex abc", "odd number of hex digits");
    row("not hex", "send c m hex:0g", "not a hex digit");
    row("--hex without a value", "send c m --hex", "--hex needs a value");
    row("listen without a channel", "listen --count 2", "at least one channel");
    row("listen with count 0", "listen --count 0 c", "--count needs a positive number");
    row("listen with an unknown option", "listen --forever c", "unknown option --forever");
}

void tst_KIVO_QcopTool::usageErrors()
{
    QFETCH(QStringList, arguments);
    QFETCH(QByteArray, why);

    QCopChannel channel("c");
    QSignalSpy received(&channel, &QCopChannel::received);
    const ToolRun result = runQcop(arguments);
    QCOMPARE(result.exitCode, 2);
    QVERIFY2(result.err.contains(why), result.err);
    QVERIFY(result.err.contains("Usage: kivo-qcop send"));
    QCOMPARE(result.out, QByteArray());
    // A refused send sends nothing. The round trip through a second sender's message makes
    // sure anything the tool had sent would have arrived first.
    QCopChannel::send("c", "marker", QByteArray());
    QVERIFY(received.wait(5000));
    QCOMPARE(received.at(0).at(0).toByteArray(), QByteArray("marker"));
}

QTEST_GUILESS_MAIN(tst_KIVO_QcopTool)
#include "tst_kivo_qcop_tool.moc"
