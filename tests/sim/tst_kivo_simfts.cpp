#include "KivoTestRoot.h"
#include "SimProcess.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QTest>

#include <memory>

namespace {

const QString s_control = QStringLiteral("org.kivo.Sim.Fts");
const QString s_titlesPath = QStringLiteral("/etc/kivo/sim/fts-titles.txt");
const QString s_statePath = QStringLiteral("/var/lib/kivo-sim/fts-selections.ini");

QByteArray bytes(const char *hex)
{
    return QByteArray::fromHex(hex);
}

// A QCop message as the program sends it: a broadcast signal on /QCop.
void sendQCop(const QString &channel, const QString &message, const QByteArray &data)
{
    QDBusMessage signal = QDBusMessage::createSignal(
        QStringLiteral("/QCop"), QStringLiteral("org.kivo.QCop"), QStringLiteral("Message"));
    signal.setArguments({channel, message, data});
    QDBusConnection::sessionBus().send(signal);
}

void request(const QString &message, const QByteArray &data = QByteArray())
{
    sendQCop(QStringLiteral("fts_listen_channel"), message, data);
}

QDBusMessage callControl(const QString &method, const QVariantList &arguments = {})
{
    QDBusMessage call = QDBusMessage::createMethodCall(s_control, QStringLiteral("/org/kivo/Sim"),
                                                       s_control, method);
    call.setArguments(arguments);
    return QDBusConnection::sessionBus().call(call);
}

} // namespace

// Records what arrives on "kivo_listen_channel", as the program's channel object sees it.
class QCopRecorder : public QObject {
    Q_OBJECT

public:
    struct Message {
        QString name;
        QByteArray data;
    };

    QCopRecorder()
    {
        QDBusConnection::sessionBus().connect(
            QString(), QStringLiteral("/QCop"), QStringLiteral("org.kivo.QCop"),
            QStringLiteral("Message"), this, SLOT(record(QDBusMessage)));
    }

    QList<Message> messages;

private slots:
    void record(const QDBusMessage &message)
    {
        if (message.arguments().value(0).toString() == QLatin1String("kivo_listen_channel")) {
            messages.append(Message{message.arguments().value(1).toString(),
                                    message.arguments().value(2).toByteArray()});
        }
    }
};

class tst_KIVO_SimFts : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void init();

    void titlesResponse_data();
    void titlesResponse();
    void titleCountByte_data();
    void titleCountByte();
    void bitmapKeptAcrossRestart_data();
    void bitmapKeptAcrossRestart();
    void ignoredRequest_data();
    void ignoredRequest();
    void mutedRequestIsHeardNotAnswered();
    void delayedAnswerComesAfterLaterOne();
    void unsolicitedAndMalformedAnswers();

private:
    std::unique_ptr<KivoTestRoot> m_root;
};

void tst_KIVO_SimFts::initTestCase()
{
    m_root = std::make_unique<KivoTestRoot>();
    QVERIFY(m_root->isValid());
}

void tst_KIVO_SimFts::init()
{
    m_root->writeFile(s_titlesPath, "Serving Cell\nNeighbour Cells\nTiming Advance\n");
    m_root->remove(s_statePath);
}

void tst_KIVO_SimFts::titlesResponse_data()
{
    QTest::addColumn<QByteArray>("file");
    QTest::addColumn<QByteArray>("data");

    // Count byte, then per title a 32-bit big-endian byte count and UTF-16 big-endian.
    QTest::newRow("three titles") << QByteArray("TA\nPower\n\xc3\x84\n")
                                  << bytes("03"
                                           "00000004 0054 0041"
                                           "0000000a 0050 006f 0077 0065 0072"
                                           "00000002 00c4");
    QTest::newRow("comments and blank lines skipped")
        << QByteArray("# screens\n\n  \nTA\n") << bytes("01 00000004 0054 0041");
    QTest::newRow("inner blanks kept")
        << QByteArray("A B\n") << bytes("01 00000006 0041 0020 0042");
    QTest::newRow("no titles") << QByteArray() << bytes("00");
}

void tst_KIVO_SimFts::titlesResponse()
{
    QFETCH(QByteArray, file);
    QFETCH(QByteArray, data);

    m_root->writeFile(s_titlesPath, file);
    SimProcess sim(QStringLiteral(KIVO_SIM_FTS), s_control);
    QVERIFY(sim.start());
    QCopRecorder recorder;

    request(QStringLiteral("getTitles(QString,QString)"));
    QTRY_COMPARE(recorder.messages.size(), 1);
    QCOMPARE(recorder.messages.first().name, QStringLiteral("getTiltlesRsp(QString, QString)"));
    QCOMPARE(recorder.messages.first().data.toHex(' '), data.toHex(' '));
}

void tst_KIVO_SimFts::titleCountByte_data()
{
    QTest::addColumn<int>("lines");
    QTest::addColumn<int>("titles");

    QTest::newRow("200 titles") << 200 << 200;
    QTest::newRow("more than the count byte holds") << 300 << 255;
}

void tst_KIVO_SimFts::titleCountByte()
{
    QFETCH(int, lines);
    QFETCH(int, titles);

    QByteArray file;
    for (int i = 0; i < lines; ++i) {
        file += QByteArray::number(1000 + i) + '\n';
    }
    m_root->writeFile(s_titlesPath, file);
    SimProcess sim(QStringLiteral(KIVO_SIM_FTS), s_control);
    QVERIFY(sim.start());
    QCopRecorder recorder;

    request(QStringLiteral("getTitles(QString,QString)"));
    QTRY_COMPARE(recorder.messages.size(), 1);
    const QByteArray data = recorder.messages.first().data;
    QCOMPARE(quint8(data.at(0)), quint8(titles));
    // Each title of 4 characters takes 4 + 8 bytes.
    QCOMPARE(data.size(), 1 + titles * 12);
    QCOMPARE(data.mid(1, 12), bytes("00000008 0031 0030 0030 0030"));
}

void tst_KIVO_SimFts::bitmapKeptAcrossRestart_data()
{
    QTest::addColumn<QString>("set");
    QTest::addColumn<QString>("get");
    QTest::addColumn<QString>("response");
    QTest::addColumn<QByteArray>("data");

    QTest::newRow("favourites hi 5 lo 3")
        << QStringLiteral("setFavourites(QString,QString)")
        << QStringLiteral("getFavourites(QString,QString)")
        << QStringLiteral("getFavouritesRsp(QString, QString)") << bytes("00000005 00000003");
    QTest::newRow("favourites with the top bit of lo")
        << QStringLiteral("setFavourites(QString,QString)")
        << QStringLiteral("getFavourites(QString,QString)")
        << QStringLiteral("getFavouritesRsp(QString, QString)") << bytes("00000001 80000000");
    QTest::newRow("visibles bits 63 and 0")
        << QStringLiteral("setVisibles(QStrihg,QString)")
        << QStringLiteral("getVisibles(QString,QString)")
        << QStringLiteral("getVisiblesResponse(QString, Qstring)") << bytes("80000000 00000001");
}

void tst_KIVO_SimFts::bitmapKeptAcrossRestart()
{
    QFETCH(QString, set);
    QFETCH(QString, get);
    QFETCH(QString, response);
    QFETCH(QByteArray, data);

    QCopRecorder recorder;
    {
        SimProcess sim(QStringLiteral(KIVO_SIM_FTS), s_control);
        QVERIFY(sim.start());
        request(set, data);
        request(get);
        QTRY_COMPARE(recorder.messages.size(), 1);
        QCOMPARE(recorder.messages.at(0).name, response);
        QCOMPARE(recorder.messages.at(0).data.toHex(' '), data.toHex(' '));
    }
    QVERIFY(m_root->exists(s_statePath));

    SimProcess restarted(QStringLiteral(KIVO_SIM_FTS), s_control);
    QVERIFY(restarted.start());
    request(get);
    QTRY_COMPARE(recorder.messages.size(), 2);
    QCOMPARE(recorder.messages.at(1).name, response);
    QCOMPARE(recorder.messages.at(1).data.toHex(' '), data.toHex(' '));
}

void tst_KIVO_SimFts::ignoredRequest_data()
{
    QTest::addColumn<QString>("channel");
    QTest::addColumn<QString>("message");
    QTest::addColumn<QByteArray>("data");

    QTest::newRow("4 bytes") << QStringLiteral("fts_listen_channel")
                             << QStringLiteral("setVisibles(QStrihg,QString)") << bytes("00000000");
    QTest::newRow("no data") << QStringLiteral("fts_listen_channel")
                             << QStringLiteral("setVisibles(QStrihg,QString)") << QByteArray();
    QTest::newRow("name spelled right")
        << QStringLiteral("fts_listen_channel") << QStringLiteral("setVisibles(QString,QString)")
        << bytes("00000000 00000002");
    QTest::newRow("other channel")
        << QStringLiteral("kivo_listen_channel") << QStringLiteral("setVisibles(QStrihg,QString)")
        << bytes("00000000 00000002");
}

void tst_KIVO_SimFts::ignoredRequest()
{
    QFETCH(QString, channel);
    QFETCH(QString, message);
    QFETCH(QByteArray, data);

    SimProcess sim(QStringLiteral(KIVO_SIM_FTS), s_control);
    QVERIFY(sim.start());
    QCopRecorder recorder;

    request(QStringLiteral("setVisibles(QStrihg,QString)"), bytes("00000000 00000009"));
    sendQCop(channel, message, data);
    request(QStringLiteral("getVisibles(QString,QString)"));
    // The row on kivo_listen_channel is recorded too; only the answer counts.
    const QString response = QStringLiteral("getVisiblesResponse(QString, Qstring)");
    auto answers = [&] {
        QList<QByteArray> found;
        for (const QCopRecorder::Message &message : recorder.messages) {
            if (message.name == response) {
                found << message.data;
            }
        }
        return found;
    };
    QTRY_COMPARE(answers().size(), 1);
    QCOMPARE(answers().first().toHex(' '), bytes("00000000 00000009").toHex(' '));
}

void tst_KIVO_SimFts::mutedRequestIsHeardNotAnswered()
{
    SimProcess sim(QStringLiteral(KIVO_SIM_FTS), s_control);
    QVERIFY(sim.start({QStringLiteral("--mute")}));
    QCopRecorder recorder;

    request(QStringLiteral("getTitles(QString,QString)"));
    QTRY_COMPARE(
        callControl(QStringLiteral("RequestCount"), {QString()}).arguments().value(0).toUInt(), 1u);
    QCOMPARE(callControl(QStringLiteral("SetMute"), {false}).type(), QDBusMessage::ReplyMessage);
    request(QStringLiteral("getFavourites(QString,QString)"));

    // Answers go out in order, so a titles answer would have come first.
    QTRY_COMPARE(recorder.messages.size(), 1);
    QCOMPARE(recorder.messages.first().name, QStringLiteral("getFavouritesRsp(QString, QString)"));
}

void tst_KIVO_SimFts::delayedAnswerComesAfterLaterOne()
{
    SimProcess sim(QStringLiteral(KIVO_SIM_FTS), s_control);
    QVERIFY(sim.start({QStringLiteral("--delay"), QStringLiteral("1500")}));
    QCopRecorder recorder;

    request(QStringLiteral("getTitles(QString,QString)"));
    QTRY_COMPARE(
        callControl(QStringLiteral("RequestCount"), {QString()}).arguments().value(0).toUInt(), 1u);
    QCOMPARE(callControl(QStringLiteral("SetDelay"), {0u}).type(), QDBusMessage::ReplyMessage);
    request(QStringLiteral("getFavourites(QString,QString)"));

    QTRY_COMPARE(recorder.messages.size(), 2);
    QCOMPARE(recorder.messages.at(0).name, QStringLiteral("getFavouritesRsp(QString, QString)"));
    QCOMPARE(recorder.messages.at(1).name, QStringLiteral("getTiltlesRsp(QString, QString)"));
}

void tst_KIVO_SimFts::unsolicitedAndMalformedAnswers()
{
    SimProcess sim(QStringLiteral(KIVO_SIM_FTS), s_control);
    QVERIFY(sim.start({QStringLiteral("--truncate"), QStringLiteral("3")}));
    QCopRecorder recorder;

    QCOMPARE(callControl(QStringLiteral("SetSelections"),
                         {QVariant::fromValue(Q_UINT64_C(0x0000000500000003)),
                          QVariant::fromValue(Q_UINT64_C(0x8000000000000001))})
                 .type(),
             QDBusMessage::ReplyMessage);
    QCOMPARE(callControl(QStringLiteral("SendVisibles")).type(), QDBusMessage::ReplyMessage);
    QCOMPARE(callControl(QStringLiteral("SendRaw"),
                         {QStringLiteral("kivo_listen_channel"),
                          QStringLiteral("getVisiblesResponse(QString, QString)"), bytes("01")})
                 .type(),
             QDBusMessage::ReplyMessage);
    request(QStringLiteral("getFavourites(QString,QString)"));

    QTRY_COMPARE(recorder.messages.size(), 3);
    // An unsolicited answer goes out whole; an answer to a request is cut.
    QCOMPARE(recorder.messages.at(0).name, QStringLiteral("getVisiblesResponse(QString, Qstring)"));
    QCOMPARE(recorder.messages.at(0).data.toHex(' '), bytes("80000000 00000001").toHex(' '));
    QCOMPARE(recorder.messages.at(1).name, QStringLiteral("getVisiblesResponse(QString, QString)"));
    QCOMPARE(recorder.messages.at(1).data, bytes("01"));
    QCOMPARE(recorder.messages.at(2).name, QStringLiteral("getFavouritesRsp(QString, QString)"));
    QCOMPARE(recorder.messages.at(2).data.toHex(' '), bytes("000000").toHex(' '));
}

QTEST_GUILESS_MAIN(tst_KIVO_SimFts)
#include "tst_kivo_simfts.moc"
