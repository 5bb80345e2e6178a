#include "KivoTestRoot.h"
#include "SimProcess.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusServiceWatcher>
#include <QSignalSpy>
#include <QTest>

#include <memory>

namespace {

const QString s_service = QStringLiteral("org.kivo.Telephony");
const QString s_path = QStringLiteral("/org/kivo/Telephony");
const QString s_control = QStringLiteral("org.kivo.Sim.Telephony");
const QString s_invalidArgs = QStringLiteral("org.freedesktop.DBus.Error.InvalidArgs");

// Written by hand: the test's own cells, so that the expected bytes do not follow the shipped
// list.
const char s_cells[] = "# arfcn cell-id lac rxlev flags\n"
                       "62    0x2A14 0x0B12 -67 -\n"
                       "36    0x2A13 0x0B12 -79 barred\n"
                       "85    0x3C01 0x0C40 -88 forbidden-lai\n"
                       "105   0x51F0 0x2201 -95 wrong-plmn\n"
                       "1008  0x2A16 0x0B12 -91 barred,wrong-plmn\n"
                       "600   0x2B02 0x0B12 -69 invalid-info\n";

QByteArray bytes(const char *hex)
{
    return QByteArray::fromHex(hex);
}

QDBusMessage callService(const QString &method, const QVariantList &arguments, int timeout = 3000)
{
    QDBusMessage call = QDBusMessage::createMethodCall(s_service, s_path, s_service, method);
    call.setArguments(arguments);
    return QDBusConnection::sessionBus().call(call, QDBus::Block, timeout);
}

QDBusMessage callControl(const QString &method, const QVariantList &arguments = {})
{
    QDBusMessage call = QDBusMessage::createMethodCall(s_control, QStringLiteral("/org/kivo/Sim"),
                                                       s_control, method);
    call.setArguments(arguments);
    return QDBusConnection::sessionBus().call(call);
}

QVariant eventTypes(const QList<quint16> &types)
{
    return QVariant::fromValue(types);
}

} // namespace

// Records the Event signals of the telephony service as a client sees them.
class EventRecorder : public QObject {
    Q_OBJECT

public:
    struct Event {
        quint16 type;
        QByteArray data;
        QString sender;
    };

    EventRecorder()
    {
        QDBusConnection::sessionBus().connect(QString(), s_path, s_service, QStringLiteral("Event"),
                                              this, SLOT(record(QDBusMessage)));
    }

    QList<Event> events;

signals:
    void recorded();

private slots:
    void record(const QDBusMessage &message)
    {
        events.append(Event{message.arguments().value(0).value<quint16>(),
                            message.arguments().value(1).toByteArray(), message.service()});
        emit recorded();
    }
};

class tst_KIVO_SimTelephony : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();

    void checkArfcn_data();
    void checkArfcn();
    void stickerOutcome_data();
    void stickerOutcome();
    void refusedRequest_data();
    void refusedRequest();
    void cellBarAccessMode_data();
    void cellBarAccessMode();

    void forcedStatusIsUsedOnce();
    void forcedFailure_data();
    void forcedFailure();
    void forcedEvent();
    void injectedEvent_data();
    void injectedEvent();
    void registerResult_data();
    void registerResult();

    void absentUntilAppear();
    void appearsLate();
    void vanishAndReturn_data();
    void vanishAndReturn();
    void slowReplyTimesOut();
    void logShowsTraffic();
    void quitEndsTheProgram();

private:
    std::unique_ptr<KivoTestRoot> m_root;
};

void tst_KIVO_SimTelephony::initTestCase()
{
    m_root = std::make_unique<KivoTestRoot>();
    QVERIFY(m_root->isValid());
    m_root->writeFile(QStringLiteral("/etc/kivo/sim/cells.txt"), s_cells);
}

void tst_KIVO_SimTelephony::checkArfcn_data()
{
    QTest::addColumn<QString>("bands"); // empty: the default set
    QTest::addColumn<uint>("arfcn");
    QTest::addColumn<uchar>("verdict"); // 0 acceptable, 1 in no GSM band, 2 band not in use

    QTest::newRow("E-GSM low end 0") << QString() << 0u << uchar(0);
    QTest::newRow("E-GSM 124") << QString() << 124u << uchar(0);
    QTest::newRow("125 in no band") << QString() << 125u << uchar(1);
    QTest::newRow("GSM850 128 not in use") << QString() << 128u << uchar(2);
    QTest::newRow("GSM850 251 not in use") << QString() << 251u << uchar(2);
    QTest::newRow("511 in no band") << QString() << 511u << uchar(1);
    QTest::newRow("DCS 512") << QString() << 512u << uchar(0);
    QTest::newRow("DCS 885") << QString() << 885u << uchar(0);
    QTest::newRow("886 in no band") << QString() << 886u << uchar(1);
    QTest::newRow("R-GSM 974 not in use") << QString() << 974u << uchar(2);
    QTest::newRow("E-GSM 975") << QString() << 975u << uchar(0);
    QTest::newRow("E-GSM 1023") << QString() << 1023u << uchar(0);
    QTest::newRow("1024 in no band") << QString() << 1024u << uchar(1);
    QTest::newRow("all bits set") << QString() << 0xFFFFFFFFu << uchar(1);

    QTest::newRow("P-GSM has no 0") << QStringLiteral("P-GSM900") << 0u << uchar(2);
    QTest::newRow("P-GSM 1") << QStringLiteral("P-GSM900") << 1u << uchar(0);
    QTest::newRow("R-GSM 955") << QStringLiteral("R-GSM900") << 955u << uchar(0);
    QTest::newRow("954 in no band") << QStringLiteral("R-GSM900") << 954u << uchar(1);

    QTest::newRow("127 in no band") << QStringLiteral("GSM850,PCS1900") << 127u << uchar(1);
    QTest::newRow("GSM850 128") << QStringLiteral("GSM850,PCS1900") << 128u << uchar(0);
    QTest::newRow("GSM850 251") << QStringLiteral("GSM850,PCS1900") << 251u << uchar(0);
    QTest::newRow("252 in no band") << QStringLiteral("GSM850,PCS1900") << 252u << uchar(1);
    QTest::newRow("PCS 810") << QStringLiteral("GSM850,PCS1900") << 810u << uchar(0);
    QTest::newRow("811 is DCS only") << QStringLiteral("GSM850,PCS1900") << 811u << uchar(2);

    QTest::newRow("GSM450 259") << QStringLiteral("GSM450, GSM480") << 259u << uchar(0);
    QTest::newRow("GSM450 293") << QStringLiteral("GSM450, GSM480") << 293u << uchar(0);
    QTest::newRow("294 in no band") << QStringLiteral("GSM450, GSM480") << 294u << uchar(1);
    QTest::newRow("GSM480 306") << QStringLiteral("GSM450, GSM480") << 306u << uchar(0);
    QTest::newRow("GSM480 340") << QStringLiteral("GSM450, GSM480") << 340u << uchar(0);
    QTest::newRow("341 in no band") << QStringLiteral("GSM450, GSM480") << 341u << uchar(1);
}

void tst_KIVO_SimTelephony::checkArfcn()
{
    QFETCH(QString, bands);
    QFETCH(uint, arfcn);
    QFETCH(uchar, verdict);

    SimProcess sim(QStringLiteral(KIVO_SIM_TELEPHONY), s_service);
    QVERIFY(
        sim.start(bands.isEmpty() ? QStringList() : QStringList{QStringLiteral("--bands"), bands}));

    const QDBusMessage reply = callService(QStringLiteral("CheckArfcn"), {arfcn});
    QCOMPARE(reply.type(), QDBusMessage::ReplyMessage);
    QCOMPARE(reply.signature(), QStringLiteral("y"));
    QCOMPARE(reply.arguments().at(0).value<uchar>(), verdict);
}

void tst_KIVO_SimTelephony::stickerOutcome_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QByteArray>("request");
    QTest::addColumn<QList<QByteArray>>("events"); // raw data of each 0x0F03 event, in order

    // Event data: result code, ARFCN, cell id, LAC, all little-endian.
    QTest::newRow("good cell") << QStringList() << bytes("01 3e 00 00 00")
                               << QList<QByteArray>{bytes("06000000 3e000000 142a 120b")};
    QTest::newRow("barred cell") << QStringList() << bytes("01 24 00 00 00")
                                 << QList<QByteArray>{bytes("02000000 24000000 132a 120b")};
    QTest::newRow("forbidden LAI") << QStringList() << bytes("01 55 00 00 00")
                                   << QList<QByteArray>{bytes("01000000 55000000 013c 400c")};
    QTest::newRow("wrong PLMN") << QStringList() << bytes("01 69 00 00 00")
                                << QList<QByteArray>{bytes("00000000 69000000 f051 0122")};
    QTest::newRow("wrong PLMN before barred, ARFCN above 255")
        << QStringList() << bytes("01 f0 03 00 00")
        << QList<QByteArray>{bytes("00000000 f0030000 162a 120b")};
    QTest::newRow("invalid information") << QStringList() << bytes("01 58 02 00 00")
                                         << QList<QByteArray>{bytes("03000000 58020000 022b 120b")};
    QTest::newRow("no cell heard") << QStringList() << bytes("01 64 00 00 00")
                                   << QList<QByteArray>{bytes("04000000 64000000 0000 0000")};
    QTest::newRow("scanning first")
        << QStringList{QStringLiteral("--scanning")} << bytes("01 3e 00 00 00")
        << QList<QByteArray>{bytes("08000000 3e000000 142a 120b"),
                             bytes("06000000 3e000000 142a 120b")};
    QTest::newRow("stop") << QStringList() << bytes("00 3e 00 00 00")
                          << QList<QByteArray>{bytes("07000000 3e000000 142a 120b")};
    QTest::newRow("stop on no ARFCN") << QStringList() << bytes("00 ff ff ff ff")
                                      << QList<QByteArray>{bytes("07000000 ffffffff 0000 0000")};
    QTest::newRow("ARFCN in no band") << QStringList() << bytes("01 00 04 00 00")
                                      << QList<QByteArray>{bytes("00010000 00040000 0000 0000")};
    QTest::newRow("ARFCN of a band not in use")
        << QStringList() << bytes("01 80 00 00 00")
        << QList<QByteArray>{bytes("00020000 80000000 0000 0000")};
    QTest::newRow("DCS-only ARFCN with PCS in use")
        << QStringList{QStringLiteral("--bands"), QStringLiteral("PCS1900")}
        << bytes("01 4a 03 00 00") << QList<QByteArray>{bytes("00020000 4a030000 0000 0000")};
    QTest::newRow("shipped cell list")
        << QStringList{QStringLiteral("--cells"), QStringLiteral("/etc/kivo/sim/missing.txt")}
        << bytes("01 3e 00 00 00") << QList<QByteArray>{bytes("06000000 3e000000 142a 120b")};
}

void tst_KIVO_SimTelephony::stickerOutcome()
{
    QFETCH(QStringList, arguments);
    QFETCH(QByteArray, request);
    QFETCH(QList<QByteArray>, events);

    SimProcess sim(QStringLiteral(KIVO_SIM_TELEPHONY), s_service);
    QVERIFY(sim.start(arguments << QStringLiteral("--outcome-delay") << QStringLiteral("50")));
    const QString owner =
        QDBusConnection::sessionBus().interface()->serviceOwner(s_service).value();
    EventRecorder recorder;

    const QDBusMessage reply = callService(QStringLiteral("SetCellStickerMode"), {request});
    QCOMPARE(reply.type(), QDBusMessage::ReplyMessage);
    QCOMPARE(reply.signature(), QStringLiteral("i"));
    QCOMPARE(reply.arguments().at(0).toInt(), 0);

    QTRY_COMPARE(recorder.events.size(), events.size());
    for (int i = 0; i < events.size(); ++i) {
        QCOMPARE(recorder.events.at(i).type, quint16(0x0F03));
        QCOMPARE(recorder.events.at(i).data.toHex(' '), events.at(i).toHex(' '));
        QCOMPARE(recorder.events.at(i).sender, owner);
    }
}

void tst_KIVO_SimTelephony::refusedRequest_data()
{
    QTest::addColumn<QVariant>("request");

    QTest::newRow("empty") << QVariant(QByteArray());
    QTest::newRow("4 bytes") << QVariant(bytes("01 3e 00 00"));
    QTest::newRow("6 bytes") << QVariant(bytes("01 3e 00 00 00 00"));
    QTest::newRow("mode 2") << QVariant(bytes("02 3e 00 00 00"));
    QTest::newRow("a number, not bytes") << QVariant(62u);
}

void tst_KIVO_SimTelephony::refusedRequest()
{
    QFETCH(QVariant, request);

    SimProcess sim(QStringLiteral(KIVO_SIM_TELEPHONY), s_service);
    QVERIFY(sim.start({QStringLiteral("--outcome-delay"), QStringLiteral("50")}));
    EventRecorder recorder;

    const QDBusMessage refused = callService(QStringLiteral("SetCellStickerMode"), {request});
    QCOMPARE(refused.type(), QDBusMessage::ErrorMessage);
    QCOMPARE(refused.errorName(), s_invalidArgs);

    // Had the refused request queued an outcome, it would arrive before this one's.
    const QDBusMessage accepted =
        callService(QStringLiteral("SetCellStickerMode"), {bytes("01 24 00 00 00")});
    QCOMPARE(accepted.arguments().value(0).toInt(), 0);
    QTRY_VERIFY(!recorder.events.isEmpty());
    QCOMPARE(recorder.events.first().data.left(4), bytes("02 00 00 00"));
}

void tst_KIVO_SimTelephony::cellBarAccessMode_data()
{
    QTest::addColumn<int>("mode");
    QTest::addColumn<bool>("accepted");
    QTest::addColumn<int>("kept"); // the simulator starts in mode 1

    QTest::newRow("Normal") << 0 << true << 0;
    QTest::newRow("Inverted again") << 1 << true << 1;
    QTest::newRow("Ignored") << 2 << true << 2;
    QTest::newRow("3 refused") << 3 << false << 1;
    QTest::newRow("-1 refused") << -1 << false << 1;
}

void tst_KIVO_SimTelephony::cellBarAccessMode()
{
    QFETCH(int, mode);
    QFETCH(bool, accepted);
    QFETCH(int, kept);

    SimProcess sim(QStringLiteral(KIVO_SIM_TELEPHONY), s_service);
    QVERIFY(sim.start({QStringLiteral("--cell-bar-mode"), QStringLiteral("1")}));

    const QDBusMessage reply = callService(QStringLiteral("SetCellBarAccessMode"), {mode});
    if (accepted) {
        QCOMPARE(reply.signature(), QStringLiteral("i"));
        QCOMPARE(reply.arguments().at(0).toInt(), 0);
    } else {
        QCOMPARE(reply.errorName(), s_invalidArgs);
    }
    QCOMPARE(callControl(QStringLiteral("CellBarAccessMode")).arguments().value(0).toInt(), kept);
}

void tst_KIVO_SimTelephony::forcedStatusIsUsedOnce()
{
    SimProcess sim(QStringLiteral(KIVO_SIM_TELEPHONY), s_service);
    QVERIFY(sim.start({QStringLiteral("--outcome-delay"), QStringLiteral("50")}));
    EventRecorder recorder;
    QCOMPARE(
        callControl(QStringLiteral("ForceStatus"), {QStringLiteral("SetCellStickerMode"), 3, 1u})
            .type(),
        QDBusMessage::ReplyMessage);

    const QByteArray request = bytes("01 3e 00 00 00");
    QCOMPARE(
        callService(QStringLiteral("SetCellStickerMode"), {request}).arguments().value(0).toInt(),
        3);
    QCOMPARE(
        callService(QStringLiteral("SetCellStickerMode"), {request}).arguments().value(0).toInt(),
        0);
    // Only the accepted request has an outcome.
    QTRY_COMPARE(recorder.events.size(), 1);
    QCOMPARE(recorder.events.first().data.left(4), bytes("06 00 00 00"));
}

void tst_KIVO_SimTelephony::forcedFailure_data()
{
    QTest::addColumn<QString>("control");
    QTest::addColumn<QVariantList>("controlArguments");
    QTest::addColumn<QString>("method");
    QTest::addColumn<QVariant>("argument");
    QTest::addColumn<QString>("errorName"); // empty: a reply is expected
    QTest::addColumn<QString>("signature"); // of that reply

    const QVariant arfcn = 62u;
    QTest::newRow("no memory")
        << QStringLiteral("ForceError")
        << QVariantList{QStringLiteral("CheckArfcn"),
                        QStringLiteral("org.freedesktop.DBus.Error.NoMemory"), 1u}
        << QStringLiteral("CheckArfcn") << arfcn
        << QStringLiteral("org.freedesktop.DBus.Error.NoMemory") << QString();
    QTest::newRow("other error for every method")
        << QStringLiteral("ForceError")
        << QVariantList{QStringLiteral("all"), QStringLiteral("org.kivo.Sim.Error.Failed"), 0u}
        << QStringLiteral("SetCellBarAccessMode") << QVariant(1)
        << QStringLiteral("org.kivo.Sim.Error.Failed") << QString();
    QTest::newRow("wrong signature")
        << QStringLiteral("ForceWrongSignature") << QVariantList{QStringLiteral("CheckArfcn"), 1u}
        << QStringLiteral("CheckArfcn") << arfcn << QString() << QStringLiteral("s");
}

void tst_KIVO_SimTelephony::forcedFailure()
{
    QFETCH(QString, control);
    QFETCH(QVariantList, controlArguments);
    QFETCH(QString, method);
    QFETCH(QVariant, argument);
    QFETCH(QString, errorName);
    QFETCH(QString, signature);

    SimProcess sim(QStringLiteral(KIVO_SIM_TELEPHONY), s_service);
    QVERIFY(sim.start());
    QCOMPARE(callControl(control, controlArguments).type(), QDBusMessage::ReplyMessage);

    const QDBusMessage reply = callService(method, {argument});
    if (!errorName.isEmpty()) {
        QCOMPARE(reply.type(), QDBusMessage::ErrorMessage);
        QCOMPARE(reply.errorName(), errorName);
    } else {
        QCOMPARE(reply.type(), QDBusMessage::ReplyMessage);
        QCOMPARE(reply.signature(), signature);
    }
}

void tst_KIVO_SimTelephony::forcedEvent()
{
    SimProcess sim(QStringLiteral(KIVO_SIM_TELEPHONY), s_service);
    QVERIFY(sim.start({QStringLiteral("--outcome-delay"), QStringLiteral("50")}));
    EventRecorder recorder;
    QCOMPARE(callControl(QStringLiteral("ForceEvent"), {0x200u, 1u}).type(),
             QDBusMessage::ReplyMessage);

    const QByteArray request = bytes("01 3e 00 00 00");
    QCOMPARE(
        callService(QStringLiteral("SetCellStickerMode"), {request}).arguments().value(0).toInt(),
        0);
    QTRY_COMPARE(recorder.events.size(), 1);
    QCOMPARE(
        callService(QStringLiteral("SetCellStickerMode"), {request}).arguments().value(0).toInt(),
        0);
    QTRY_COMPARE(recorder.events.size(), 2);
    QCOMPARE(recorder.events.at(0).data.toHex(' '),
             bytes("00020000 3e000000 0000 0000").toHex(' '));
    QCOMPARE(recorder.events.at(1).data.left(4), bytes("06 00 00 00"));
}

void tst_KIVO_SimTelephony::injectedEvent_data()
{
    QTest::addColumn<quint16>("type");
    QTest::addColumn<QByteArray>("data");

    QTest::newRow("sticker event without data") << quint16(0x0F03) << QByteArray();
    QTest::newRow("sticker event of 1 byte") << quint16(0x0F03) << bytes("06");
    QTest::newRow("sticker event of 3 bytes") << quint16(0x0F03) << bytes("06 00 00");
    QTest::newRow("other type") << quint16(0x1234) << bytes("06 00 00 00");
}

void tst_KIVO_SimTelephony::injectedEvent()
{
    QFETCH(quint16, type);
    QFETCH(QByteArray, data);

    SimProcess sim(QStringLiteral(KIVO_SIM_TELEPHONY), s_service);
    QVERIFY(sim.start());
    EventRecorder recorder;
    QCOMPARE(callControl(QStringLiteral("InjectEvent"), {QVariant::fromValue(type), data}).type(),
             QDBusMessage::ReplyMessage);

    QTRY_COMPARE(recorder.events.size(), 1);
    QCOMPARE(recorder.events.first().type, type);
    QCOMPARE(recorder.events.first().data, data);
}

void tst_KIVO_SimTelephony::registerResult_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<int>("result");

    QTest::newRow("refused") << QStringList{QStringLiteral("--register-result"),
                                            QStringLiteral("-1")}
                             << -1;
    QTest::newRow("handle 0") << QStringList{QStringLiteral("--register-result"),
                                             QStringLiteral("0")}
                              << 0;
    QTest::newRow("as a forced status")
        << QStringList{QStringLiteral("--force-status"), QStringLiteral("Register=-5")} << -5;
}

void tst_KIVO_SimTelephony::registerResult()
{
    QFETCH(QStringList, arguments);
    QFETCH(int, result);

    SimProcess sim(QStringLiteral(KIVO_SIM_TELEPHONY), s_service);
    QVERIFY(sim.start(arguments));
    // Every call, not only the first, gets the result set.
    for (int i = 0; i < 2; ++i) {
        const QDBusMessage reply = callService(QStringLiteral("Register"), {eventTypes({0x0F03})});
        QCOMPARE(reply.signature(), QStringLiteral("i"));
        QCOMPARE(reply.arguments().at(0).toInt(), result);
    }
}

void tst_KIVO_SimTelephony::absentUntilAppear()
{
    SimProcess sim(QStringLiteral(KIVO_SIM_TELEPHONY), s_control);
    QVERIFY(sim.start({QStringLiteral("--absent")}));

    const QDBusMessage refused = callService(QStringLiteral("Register"), {eventTypes({0x0F03})});
    QCOMPARE(refused.type(), QDBusMessage::ErrorMessage);
    QCOMPARE(refused.errorName(), QStringLiteral("org.freedesktop.DBus.Error.ServiceUnknown"));

    const QDBusMessage appeared = callControl(QStringLiteral("Appear"));
    QCOMPARE(appeared.arguments().value(0).toBool(), true);
    const QDBusMessage registered = callService(QStringLiteral("Register"), {eventTypes({0x0F03})});
    QCOMPARE(registered.signature(), QStringLiteral("i"));
    QVERIFY2(registered.arguments().at(0).toInt() > 0, "the default result is a positive handle");
}

void tst_KIVO_SimTelephony::appearsLate()
{
    QDBusServiceWatcher watcher(s_service, QDBusConnection::sessionBus(),
                                QDBusServiceWatcher::WatchForRegistration);
    QSignalSpy registered(&watcher, &QDBusServiceWatcher::serviceRegistered);
    SimProcess sim(QStringLiteral(KIVO_SIM_TELEPHONY), s_control);
    QVERIFY(sim.start({QStringLiteral("--appear-after"), QStringLiteral("200")}));

    QVERIFY(registered.count() == 1 || registered.wait(10000));
    const QDBusMessage reply = callService(QStringLiteral("Register"), {eventTypes({0x0F03})});
    QVERIFY(reply.arguments().value(0).toInt() > 0);
}

void tst_KIVO_SimTelephony::vanishAndReturn_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<bool>("byControl");

    QTest::newRow("Vanish call") << QStringList() << true;
    QTest::newRow("command line") << QStringList{QStringLiteral("--vanish-after"),
                                                 QStringLiteral("200"),
                                                 QStringLiteral("--return-after"),
                                                 QStringLiteral("200")}
                                  << false;
}

void tst_KIVO_SimTelephony::vanishAndReturn()
{
    QFETCH(QStringList, arguments);
    QFETCH(bool, byControl);

    QDBusServiceWatcher watcher(s_service, QDBusConnection::sessionBus());
    QSignalSpy changes(&watcher, &QDBusServiceWatcher::serviceOwnerChanged);
    SimProcess sim(QStringLiteral(KIVO_SIM_TELEPHONY), s_control);
    QVERIFY(sim.start(arguments));
    if (byControl) {
        QTRY_COMPARE(changes.size(), 1);
        QCOMPARE(callControl(QStringLiteral("Vanish"), {300u}).type(), QDBusMessage::ReplyMessage);
    }

    // Owned, given up, owned again by the same process.
    QTRY_COMPARE_WITH_TIMEOUT(changes.size(), 3, 10000);
    const QString owner = changes.at(0).at(2).toString();
    QVERIFY(!owner.isEmpty());
    QCOMPARE(changes.at(1).at(1).toString(), owner);
    QCOMPARE(changes.at(1).at(2).toString(), QString());
    QCOMPARE(changes.at(2).at(2).toString(), owner);
    QVERIFY(callService(QStringLiteral("Register"), {eventTypes({0x0F03})})
                .arguments()
                .value(0)
                .toInt() > 0);
}

void tst_KIVO_SimTelephony::slowReplyTimesOut()
{
    SimProcess sim(QStringLiteral(KIVO_SIM_TELEPHONY), s_service);
    QVERIFY(sim.start());
    QCOMPARE(
        callControl(QStringLiteral("SetReplyDelay"), {QStringLiteral("CheckArfcn"), 4000u}).type(),
        QDBusMessage::ReplyMessage);

    const QDBusMessage late = callService(QStringLiteral("CheckArfcn"), {62u}, 3000);
    QCOMPARE(late.type(), QDBusMessage::ErrorMessage);
    QCOMPARE(late.errorName(), QStringLiteral("org.freedesktop.DBus.Error.NoReply"));
    // The delay is the one method's.
    QCOMPARE(callService(QStringLiteral("SetCellBarAccessMode"), {1}).arguments().value(0).toInt(),
             0);
}

void tst_KIVO_SimTelephony::logShowsTraffic()
{
    SimProcess sim(QStringLiteral(KIVO_SIM_TELEPHONY), s_service);
    QVERIFY(sim.start());
    callService(QStringLiteral("SetCellStickerMode"), {bytes("01 3e 00 00 00")});

    QTRY_VERIFY(sim.output().contains("SetCellStickerMode(ay[5] 01 3e 00 00 00)"));
}

void tst_KIVO_SimTelephony::quitEndsTheProgram()
{
    SimProcess sim(QStringLiteral(KIVO_SIM_TELEPHONY), s_service);
    QVERIFY(sim.start());

    QCOMPARE(callControl(QStringLiteral("Quit")).type(), QDBusMessage::ReplyMessage);
    QVERIFY(sim.waitForCleanExit());
}

QTEST_GUILESS_MAIN(tst_KIVO_SimTelephony)
#include "tst_kivo_simtelephony.moc"
