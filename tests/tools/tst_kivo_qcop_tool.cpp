// kivo-qcop as a user runs it on the private session bus of this test: the bytes its send puts
// on a channel, the lines its listen prints for what others send, and its exit statuses.
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
    void exitStatus_data();
    void exitStatus();
    void fullOutput_data();
    void fullOutput();

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

    // The data items apart by '|', and the bytes they make in hexadecimal.
    const auto row = [](const char *name, const QString &items, const char *hex) {
        QTest::newRow(name) << items.split('|', Qt::SkipEmptyParts) << QByteArray::fromHex(hex);
    };
    row("no data", "", "");
    row("int32 negative", "int32:-2", "fffffffe");
    row("int32 bit pattern in hex", "int32:0x80000000", "80000000");
    row("int8 count byte 200", "int8:200", "c8");
    row("uint32 and int16", "uint32:4294967295|int16:-2|uint16:0x1234", "ffffffff fffe 1234");
    row("uint64 is hi then lo", "uint64:0x8000000000000001", "80000000 00000001");
    row("QString beyond Latin letters", QStringLiteral("QString:Z\u00fc\u20ac"),
        "00000006 005a 00fc 20ac");
    row("empty QString", "QString:", "00000000");
    row("--hex with blanks and colons", "--hex|00 00 00 05:00000003", "0000000500000003");
    row("hex between typed values keeps the order", "int8:1|--hex|FF|hex:aa|int8:2", "01 ff aa 02");
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
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QStringList>("sent"); // "CHANNEL|MESSAGE|HEX DATA" each
    QTest::addColumn<QByteArray>("printed");

    // One message on the channel the listener waits for, and what it prints of it.
    const auto row = [](const char *name, const char *message, const char *hex,
                        const char *decoded) {
        const QByteArray channel = "kivo_listen_channel";
        QTest::newRow(name) << QStringList{"--count", "1", channel}
                            << QStringList{channel + '|' + message + '|' + hex}
                            << channel + '\t' + message + '\t' + decoded + '\n';
    };
    const char *titles = "getTiltlesRsp(QString, QString)";
    const char *favourites = "getFavouritesRsp(QString, QString)";
    row("titles response", titles,
        "02 00000018 0053 0065 0072 0076 0069 006e 0067 0020 0043 0065 006c 006c"
        "00000006 004e 0022 0031",
        "count=2 0=\"Serving Cell\" 1=\"N\\\"1\"");
    row("titles response with no titles", titles, "00", "count=0");
    row("favourites response, lo with its top bit", favourites, "00000001 80000000",
        "hi=0x00000001 lo=0x80000000 bitmap=0x0000000180000000 bits=31,32");
    row("visibles response, nothing visible", "getVisiblesResponse(QString, Qstring)",
        "00000000 00000000", "hi=0x00000000 lo=0x00000000 bitmap=0x0000000000000000 bits=none");
    row("set visibles request, bits 63 and 0", "setVisibles(QStrihg,QString)", "80000000 00000001",
        "hi=0x80000000 lo=0x00000001 bitmap=0x8000000000000001 bits=0,63");
    row("set favourites request, bits 0 1 32 34", "setFavourites(QString,QString)",
        "00000005 00000003",
        "hi=0x00000005 lo=0x00000003 bitmap=0x0000000500000003 bits=0,1,32,34");
    row("get request", "getTitles(QString,QString)", "", "(empty)");

    row("truncated: count 200, no titles", titles, "c8",
        "malformed (count=200, title 0 missing or cut short) hex=c8");
    row("truncated: bitmap of 5 bytes", favourites, "00000005 00",
        "malformed (8 bytes expected, 5 received) hex=00 00 00 05 00");
    row("trailing bytes after a bitmap", favourites, "00000000 00000001 ab",
        "hi=0x00000000 lo=0x00000001 bitmap=0x0000000000000001 bits=0 trailing=ab");

    row("unknown message", "hello", "0102ff", "hex=01 02 ff");
    row("visibles response spelt with a capital S is unknown",
        "getVisiblesResponse(QString, QString)", "00000000 00000001",
        "hex=00 00 00 00 00 00 00 01");
    row("unknown message without data", "ping", "", "(empty)");

    // A channel named twice is heard once; the third message on it comes after --count.
    QTest::newRow("only its channels, each once")
        << QStringList{"--count", "2", "fts_listen_channel", "kivo_listen_channel",
                       "fts_listen_channel"}
        << QStringList{"other_channel|hello|01",
                       "fts_listen_channel|getFavourites(QString,QString)|",
                       "kivo_listen_channel|hello|02", "fts_listen_channel|hello|03"}
        << QByteArray("fts_listen_channel\tgetFavourites(QString,QString)\t(empty)\n"
                      "kivo_listen_channel\thello\thex=02\n");
}

void tst_KIVO_QcopTool::listenDecodes()
{
    QFETCH(QStringList, arguments);
    QFETCH(QStringList, sent);

    QProcess listener;
    QByteArray err;
    QVERIFY2(startListener(listener, arguments, &err), err);
    for (const QString &message : sent) {
        const QByteArrayList parts = message.toLatin1().split('|');
        QCopChannel::send(parts.at(0), parts.at(1), QByteArray::fromHex(parts.at(2)));
    }
    const ToolRun result = finishTool(listener, 20000);
    QCOMPARE(result.exitCode, 0);
    QTEST(result.out, "printed");
}

void tst_KIVO_QcopTool::exitStatus_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QByteArray>("why");
    QTest::addColumn<int>("exitCode");

    // The arguments apart by blanks, and the reason the tool gives.
    const auto row = [](const char *name, const char *arguments, const char *why,
                        int exitCode = 2) {
        QTest::newRow(name) << QString::fromLatin1(arguments).split(' ', Qt::SkipEmptyParts)
                            << QByteArray(why) << exitCode;
    };
    // The time-out alone ends normally; before the count is reached it is a shortfall.
    row("time-out alone", "listen --timeout 100 c", "", 0);
    row("time-out before the count", "listen --timeout 100 --count 1 c", "", 1);
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

void tst_KIVO_QcopTool::exitStatus()
{
    QFETCH(QStringList, arguments);
    QFETCH(QByteArray, why);
    QFETCH(int, exitCode);

    QCopChannel channel("c");
    QSignalSpy received(&channel, &QCopChannel::received);
    const ToolRun result = runQcop(arguments);
    QCOMPARE(result.exitCode, exitCode);
    QVERIFY2(result.err.contains(why), result.err);
    QCOMPARE(result.err.contains("Usage: kivo-qcop send"), exitCode == 2);
    QCOMPARE(result.out, QByteArray());
    // A refused send, or a listener, sends nothing. The round trip through a second sender's
    // message makes sure anything the tool had sent would have arrived first.
    QCopChannel::send("c", "marker", QByteArray());
    QVERIFY(received.wait(5000));
    QCOMPARE(received.at(0).at(0).toByteArray(), QByteArray("marker"));
}

void tst_KIVO_QcopTool::fullOutput_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::newRow("listen until the count") << QStringList{"listen", "--count", "2", "c"};
    QTest::newRow("listen without a count") << QStringList{"listen", "c"};
    QTest::newRow("help") << QStringList{"--help"};
}

// A line that cannot be written ends the tool with an error at once, not after the count or
// never: nobody sees what it would print.
void tst_KIVO_QcopTool::fullOutput()
{
    QFETCH(QStringList, arguments);

    QProcess process;
    process.setStandardOutputFile(QStringLiteral("/dev/full"));
    QByteArray err;
    if (arguments.first() == QLatin1String("listen")) {
        QVERIFY2(startListener(process, arguments.mid(1), &err), err);
        QCopChannel::send("c", "hello", QByteArray::fromHex("01"));
    } else {
        process.start(QStringLiteral(KIVO_QCOP_TOOL), arguments);
    }
    const ToolRun result = finishTool(process, 20000);
    QCOMPARE(result.exitCode, 1);
    QVERIFY2((err + result.err)
                 .endsWith("kivo-qcop: cannot write to standard output: No space left on device\n"),
             err + result.err);
}

QTEST_GUILESS_MAIN(tst_KIVO_QcopTool)
#include "tst_kivo_qcop_tool.moc"
