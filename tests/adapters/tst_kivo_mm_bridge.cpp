// The ModemManager bridge as a client of org.kivo.Telephony sees it, against the ModemManager
// stand-in: the sticker through the Quectel lock, the requests it cannot serve, the EARFCN
// check, the cell bar modes, the name following the modem, and the cell change warnings.
#include "KivoTestRoot.h"
#include "MMBridgeRig.h"
#include "SignalCatcher.h"

#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QtEndian>

namespace {

const QString s_notSupported = QStringLiteral("org.kivo.Telephony.Error.NotSupported");
const QString s_failed = QStringLiteral("org.kivo.Telephony.Error.Failed");
const QString s_noReply = QStringLiteral("org.freedesktop.DBus.Error.NoReply");
const QString s_invalidArgs = QStringLiteral("org.freedesktop.DBus.Error.InvalidArgs");
const QString s_lock6300 = QStringLiteral("AT+QNWLOCK=\"common/lte\",1,6300,0");
const QString s_unlock = QStringLiteral("AT+QNWLOCK=\"common/lte\",0");
const QString s_servingCell = QStringLiteral("AT+QENG=\"servingcell\"");

QDBusMessage telephony(const QString &method, const QVariantList &arguments = {})
{
    QDBusMessage call = QDBusMessage::createMethodCall(
        QStringLiteral("org.kivo.Telephony"), QStringLiteral("/org/kivo/Telephony"),
        QStringLiteral("org.kivo.Telephony"), method);
    call.setArguments(arguments);
    return QDBusConnection::sessionBus().call(call, QDBus::Block, 3000);
}

QDBusMessage stickerRequest(quint8 mode, quint32 earfcn)
{
    QByteArray request(5, '\0');
    request[0] = char(mode);
    qToLittleEndian<quint32>(earfcn, request.data() + 1);
    return telephony(QStringLiteral("SetCellStickerMode"), {request});
}

// The outcome codes of the sticker events caught so far.
QList<quint32> outcomes(const SignalCatcher &events)
{
    QList<quint32> codes;
    for (const QDBusMessage &event : events.messages) {
        if (event.arguments().at(0).value<quint16>() == 0x0F03) {
            codes << qFromLittleEndian<quint32>(event.arguments().at(1).toByteArray().constData());
        }
    }
    return codes;
}

// What the test offers as the desktop's notification and feedback services, each at its path
// under its interface.
class DesktopPeers : public QObject {
    Q_OBJECT

public:
    QStringList notices; // summary and body
    QStringList tones;   // app id and event

public slots:
    uint Notify(const QString &app, uint, const QString &, const QString &summary,
                const QString &body, const QStringList &, const QVariantMap &, int)
    {
        notices << app + QLatin1Char('|') + summary + QLatin1Char('|') + body;
        return uint(notices.size());
    }
    uint TriggerFeedback(const QString &app, const QString &event, const QVariantMap &, int)
    {
        tones << app + QLatin1Char('|') + event;
        return 1;
    }
};

} // namespace

class tst_KIVO_MMBridge : public QObject {
    Q_OBJECT

private slots:
    void sticker_data();
    void sticker();
    void checkArfcn_data();
    void checkArfcn();
    void cellBarAccess_data();
    void cellBarAccess();
    void capabilities_data();
    void capabilities();
    void followsModem_data();
    void followsModem();
    void leavesOwnedName();
    void cellChange_data();
    void cellChange();
    void statusTool_data();
    void statusTool();

private:
    KivoTestRoot m_root;
};

void tst_KIVO_MMBridge::sticker_data()
{
    QTest::addColumn<QStringList>("fakeArguments");
    QTest::addColumn<QString>("answer");     // scripted answer to the lock command; "" none
    QTest::addColumn<uint>("answerDelayMs"); // its delay
    QTest::addColumn<quint8>("mode");
    QTest::addColumn<quint32>("earfcn");
    QTest::addColumn<bool>("deny");            // registration denied once the lock is accepted
    QTest::addColumn<QString>("error");        // the D-Bus error, or "" for status 0
    QTest::addColumn<QStringList>("commands"); // AT commands sent, the probe left out
    QTest::addColumn<QList<quint32>>("codes");

    const QStringList none;
    QTest::newRow("lock accepted, modem camps on the EARFCN: 8 then 6")
        << none << "" << 0u << quint8(1) << 6300u << false << "" << QStringList{s_lock6300}
        << QList<quint32>{8, 6};
    QTest::newRow("no cell on the EARFCN: 4 when the time is up")
        << none << "" << 0u << quint8(1) << 6200u << false << ""
        << QStringList{QStringLiteral("AT+QNWLOCK=\"common/lte\",1,6200,0")}
        << QList<quint32>{8, 4};
    QTest::newRow("registration denied: 4 at once")
        << QStringList{QStringLiteral("--camp-delay"), QStringLiteral("600000")} << "" << 0u
        << quint8(1) << 6300u << true << "" << QStringList{s_lock6300} << QList<quint32>{8, 4};
    QTest::newRow("GetCellInfo not supported: serving cell read through AT+QENG")
        << QStringList{QStringLiteral("--no-cell-info")} << "" << 0u << quint8(1) << 6300u << false
        << "" << QStringList{s_lock6300, s_servingCell} << QList<quint32>{8, 6};
    QTest::newRow("off: 7") << none << "" << 0u << quint8(0) << 6300u << false << ""
                            << QStringList{s_unlock} << QList<quint32>{7};
    QTest::newRow("debug mode off: not supported")
        << QStringList{QStringLiteral("--no-debug")} << "" << 0u << quint8(1) << 6300u << false
        << s_notSupported << QStringList{s_lock6300} << QList<quint32>{};
    QTest::newRow("no Quectel: not supported, no AT command")
        << QStringList{QStringLiteral("--manufacturer"), QStringLiteral("Sierra Wireless")} << ""
        << 0u << quint8(1) << 6300u << false << s_notSupported << QStringList{} << QList<quint32>{};
    QTest::newRow("+CME ERROR with an unsolicited line: failed")
        << none << "\r\n+QIND: \"csq\",20,99\r\n+CME ERROR: 3\r\n"
        << 0u << quint8(1) << 6300u << false << s_failed << QStringList{s_lock6300}
        << QList<quint32>{};
    QTest::newRow("modem silent: no reply")
        << none << "" << 5000u << quint8(1) << 6300u << false << s_noReply
        << QStringList{s_lock6300} << QList<quint32>{};
}

void tst_KIVO_MMBridge::sticker()
{
    QFETCH(QStringList, fakeArguments);
    QFETCH(QString, answer);
    QFETCH(uint, answerDelayMs);
    QFETCH(quint8, mode);
    QFETCH(quint32, earfcn);
    QFETCH(bool, deny);
    QFETCH(QString, error);
    QFETCH(QStringList, commands);
    QFETCH(QList<quint32>, codes);

    MMBridgeRig rig(m_root.root());
    QVERIFY(rig.start(fakeArguments));
    if (!answer.isEmpty() || answerDelayMs > 0) {
        rig.control(QStringLiteral("SetAtAnswer"),
                    {MMBridgeRig::modem(), s_lock6300, answer, answerDelayMs});
    }
    SignalCatcher events(QDBusConnection::sessionBus(), QString(),
                         QStringLiteral("/org/kivo/Telephony"),
                         QStringLiteral("org.kivo.Telephony"), QStringLiteral("Event"));
    QCOMPARE(telephony(QStringLiteral("Register"), {QVariant::fromValue(QList<quint16>{0x0F03})})
                 .signature(),
             QStringLiteral("i"));

    const QDBusMessage reply = stickerRequest(mode, earfcn);
    if (error.isEmpty()) {
        QCOMPARE(reply.arguments(), QVariantList{0});
    } else {
        QCOMPARE(reply.errorName(), error);
    }
    if (deny) {
        rig.control(QStringLiteral("SetRegistration"), {MMBridgeRig::modem(), 3u});
    }
    QTRY_COMPARE_WITH_TIMEOUT(outcomes(events).size(), codes.size(), 10000);
    // Nothing further: the modem's next answers are in and no later outcome follows them.
    QVERIFY(waitForDelivery(QDBusConnection::sessionBus()));
    QCOMPARE(outcomes(events), codes);
    QCOMPARE(MMBridgeRig::commands().mid(0, commands.size()), commands);
    if (!commands.contains(s_servingCell)) {
        QVERIFY(!MMBridgeRig::commands().contains(s_servingCell));
    }
}

void tst_KIVO_MMBridge::checkArfcn_data()
{
    // The stand-in's modem has the LTE bands of a Quectel EG25-G: 1, 2, 3, 4, 5, 7, 8, 12, 13,
    // 18, 19, 20, 25, 26, 28, 38, 39, 40, 41.
    QTest::addColumn<quint32>("earfcn");
    QTest::addColumn<uchar>("verdict");

    QTest::newRow("band 1 first") << 0u << uchar(0);
    QTest::newRow("band 5 last, band 6 not supported") << 2649u << uchar(0);
    QTest::newRow("band 6 first, not supported") << 2650u << uchar(1);
    QTest::newRow("between band 11 and band 12") << 5000u << uchar(1);
    QTest::newRow("band 12 first") << 5010u << uchar(0);
    QTest::newRow("band 28 last") << 9659u << uchar(0);
    QTest::newRow("band 41 last") << 41589u << uchar(0);
    QTest::newRow("band 42 first, not supported") << 41590u << uchar(1);
    QTest::newRow("beyond every band") << 0xFFFFFFFFu << uchar(1);
}

void tst_KIVO_MMBridge::checkArfcn()
{
    QFETCH(quint32, earfcn);
    QFETCH(uchar, verdict);

    MMBridgeRig rig(m_root.root());
    QVERIFY(rig.start());
    const QDBusMessage reply = telephony(QStringLiteral("CheckArfcn"), {earfcn});
    QCOMPARE(reply.signature(), QStringLiteral("y"));
    QCOMPARE(reply.arguments().at(0).value<uchar>(), verdict);
}

void tst_KIVO_MMBridge::cellBarAccess_data()
{
    QTest::addColumn<int>("mode");
    QTest::addColumn<QString>("error"); // "" for status 0

    QTest::newRow("normal: the modem's own behaviour") << 0 << QString();
    QTest::newRow("ignored: not supported, the highest mode") << 2 << s_notSupported;
    QTest::newRow("no such mode") << 3 << s_invalidArgs;
}

void tst_KIVO_MMBridge::cellBarAccess()
{
    QFETCH(int, mode);
    QFETCH(QString, error);

    MMBridgeRig rig(m_root.root());
    QVERIFY(rig.start());
    const QDBusMessage reply = telephony(QStringLiteral("SetCellBarAccessMode"), {mode});
    QCOMPARE(reply.errorName(), error);
    if (error.isEmpty()) {
        QCOMPARE(reply.arguments(), QVariantList{0});
    }
}

void tst_KIVO_MMBridge::capabilities_data()
{
    QTest::addColumn<QStringList>("fakeArguments");
    QTest::addColumn<QVariantMap>("expected");
    QTest::addColumn<QByteArray>("trace");

    const QVariantMap common{
        {"backend", "modemmanager"}, {"cellLockRat", "lte"}, {"cellBarAccess", false}};
    QVariantMap all = common;
    all.insert(
        {{"modem", "QUECTEL EG25"}, {"cellLock", true}, {"cellInfo", true}, {"debugMode", true}});
    QTest::newRow("Quectel in debug mode") << QStringList() << all
                                           << QByteArray("cell lock: yes, LTE EARFCN through "
                                                         "AT+QNWLOCK\n");
    QVariantMap noDebug = common;
    noDebug.insert({{"modem", "QUECTEL EG25"},
                    {"cellLock", false},
                    {"cellInfo", false},
                    {"debugMode", false}});
    QTest::newRow("no debug mode, no GetCellInfo")
        << QStringList{QStringLiteral("--no-debug"), QStringLiteral("--no-cell-info")} << noDebug
        << QByteArray("cell lock: no, ModemManager runs without --debug\n");
    QVariantMap other = common;
    other.insert(
        {{"modem", "Sierra EG25"}, {"cellLock", false}, {"cellInfo", true}, {"debugMode", true}});
    QTest::newRow("no Quectel") << QStringList{QStringLiteral("--manufacturer"),
                                               QStringLiteral("Sierra")}
                                << other << QByteArray("cell lock: no, the modem is no Quectel");
}

void tst_KIVO_MMBridge::capabilities()
{
    QFETCH(QStringList, fakeArguments);
    QFETCH(QVariantMap, expected);
    QFETCH(QByteArray, trace);

    MMBridgeRig rig(m_root.root());
    QVERIFY(rig.start(fakeArguments));
    QVERIFY2(rig.errors().contains(trace), rig.errors().constData());
    const QDBusMessage reply = telephony(QStringLiteral("GetCapabilities"));
    QCOMPARE(reply.signature(), QStringLiteral("a{sv}"));
    QCOMPARE(qdbus_cast<QVariantMap>(reply.arguments().at(0)), expected);
}

void tst_KIVO_MMBridge::followsModem_data()
{
    QTest::addColumn<QString>("away"); // control call that takes the modem away
    QTest::addColumn<QString>("back"); // control call that brings it back
    QTest::addColumn<QString>("path"); // the modem's path once back

    const QString second = QStringLiteral("/org/freedesktop/ModemManager1/Modem/1");
    QTest::newRow("modem removed, another added") << "RemoveModem"
                                                  << "AddModem" << second;
    QTest::newRow("modem failed, then registered") << "SetState -1"
                                                   << "SetState 8" << MMBridgeRig::s_modem0;
    QTest::newRow("daemon restarted") << "Vanish"
                                      << "Appear" << MMBridgeRig::s_modem0;
}

void tst_KIVO_MMBridge::followsModem()
{
    QFETCH(QString, away);
    QFETCH(QString, back);
    QFETCH(QString, path);

    MMBridgeRig rig(m_root.root());
    QVERIFY(rig.start());
    const QString telephonyName = QStringLiteral("org.kivo.Telephony");
    auto run = [](const QString &step) {
        const QString method = step.section(QLatin1Char(' '), 0, 0);
        if (method == QLatin1String("RemoveModem")) {
            return MMBridgeRig::control(method, {MMBridgeRig::modem()});
        }
        if (method == QLatin1String("AddModem")) {
            return MMBridgeRig::control(method, {QStringLiteral("Quectel"), QStringLiteral("EG25"),
                                                 QVariant::fromValue(QList<uint>{50})});
        }
        if (method == QLatin1String("SetState")) {
            return MMBridgeRig::control(
                method, {MMBridgeRig::modem(), step.section(QLatin1Char(' '), 1).toInt()});
        }
        if (method == QLatin1String("Vanish")) {
            return MMBridgeRig::control(method, {0u});
        }
        return MMBridgeRig::control(method);
    };
    QCOMPARE(telephony(QStringLiteral("Register"), {QVariant::fromValue(QList<quint16>{0x0F03})})
                 .arguments(),
             QVariantList{1});
    QCOMPARE(run(away).type(), QDBusMessage::ReplyMessage);
    QTRY_VERIFY_WITH_TIMEOUT(!MMBridgeRig::isOwned(telephonyName), 10000);
    QCOMPARE(run(back).type(), QDBusMessage::ReplyMessage);
    QTRY_VERIFY_WITH_TIMEOUT(MMBridgeRig::isOwned(telephonyName), 10000);

    // A client registers again and gets the next outcome from the modem that came back.
    MMBridgeRig::control(QStringLiteral("SetCells"),
                         {MMBridgeRig::modem(path), QStringLiteral("1300:12:B12:1A2B301 "
                                                                   "6300:7:B12:1A2B302")});
    SignalCatcher events(QDBusConnection::sessionBus(), QString(),
                         QStringLiteral("/org/kivo/Telephony"),
                         QStringLiteral("org.kivo.Telephony"), QStringLiteral("Event"));
    QCOMPARE(telephony(QStringLiteral("Register"), {QVariant::fromValue(QList<quint16>{0x0F03})})
                 .signature(),
             QStringLiteral("i"));
    const QDBusMessage reply = stickerRequest(1, 6300);
    QVERIFY2(reply.arguments() == QVariantList{0}, qPrintable(reply.errorMessage()));
    QTRY_COMPARE_WITH_TIMEOUT(outcomes(events), (QList<quint32>{8, 6}), 10000);
    QVERIFY2(rig.bridge().state() == QProcess::Running, rig.errors().constData());
}

// Where another process owns the name, the bridge says so and ends with status 1.
void tst_KIVO_MMBridge::leavesOwnedName()
{
    QDBusConnection own =
        QDBusConnection::connectToBus(QDBusConnection::SessionBus, QStringLiteral("owner"));
    QVERIFY(own.registerService(QStringLiteral("org.kivo.Telephony")));
    MMBridgeRig rig(m_root.root());
    QVERIFY(rig.startFake());
    QVERIFY(rig.startBridge());
    QVERIFY(rig.bridge().waitForFinished(10000));
    QCOMPARE(rig.bridge().exitCode(), 1);
    QVERIFY2(rig.errors().contains("org.kivo.Telephony is owned by another process"),
             rig.errors().constData());
    QCOMPARE(QDBusConnection::sessionBus()
                 .interface()
                 ->serviceOwner(QStringLiteral("org.kivo.Telephony"))
                 .value(),
             own.baseService());
    QDBusConnection::disconnectFromBus(QStringLiteral("owner"));
}

void tst_KIVO_MMBridge::cellChange_data()
{
    QTest::addColumn<QByteArray>("settings");
    QTest::addColumn<bool>("peers"); // the notification and feedback services exist
    QTest::addColumn<QStringList>("notices");
    QTest::addColumn<QStringList>("tones");
    QTest::addColumn<QByteArray>("trace"); // on the bridge's stderr, once

    const QString notice = QStringLiteral("KIVO|Cell changed|From area B12, cell 1A2B301\nto area "
                                          "B13, cell 1A2B303");
    const QString tone = QStringLiteral("org.kivo.KIVO|message-new-instant");
    QTest::newRow("notice on, tone off")
        << QByteArray("[KIVO]\nmsg_warning_mode=1\ntone_warning_mode=0\n") << true
        << QStringList{notice} << QStringList{} << QByteArray();
    QTest::newRow("tone on, notice off (257 is 1 in its low byte)")
        << QByteArray("[KIVO]\nmsg_warning_mode=0\ntone_warning_mode=257\n") << true
        << QStringList{} << QStringList{tone} << QByteArray();
    QTest::newRow("both on, no services: traced once")
        << QByteArray("[KIVO]\nmsg_warning_mode=1\ntone_warning_mode=1\n") << false << QStringList{}
        << QStringList{}
        << QByteArray("no desktop notifications (org.freedesktop.DBus.Error.ServiceUnknown)");
}

void tst_KIVO_MMBridge::cellChange()
{
    QFETCH(QByteArray, settings);
    QFETCH(bool, peers);
    QFETCH(QStringList, notices);
    QFETCH(QStringList, tones);
    QFETCH(QByteArray, trace);

    m_root.writeFile(KivoTestRoot::defaultIniPath(), settings);
    DesktopPeers desktop;
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (peers) {
        QVERIFY(bus.registerObject(QStringLiteral("/org/freedesktop/Notifications"),
                                   QStringLiteral("org.freedesktop.Notifications"), &desktop,
                                   QDBusConnection::ExportAllSlots));
        QVERIFY(bus.registerObject(QStringLiteral("/org/sigxcpu/Feedback"),
                                   QStringLiteral("org.sigxcpu.Feedback"), &desktop,
                                   QDBusConnection::ExportAllSlots));
        QVERIFY(bus.registerService(QStringLiteral("org.freedesktop.Notifications")));
        QVERIFY(bus.registerService(QStringLiteral("org.sigxcpu.Feedback")));
    }
    MMBridgeRig rig(m_root.root());
    QVERIFY(rig.start());
    // The modem moves to the cell on 3050, then back.
    for (const QString &cells : {QStringLiteral("3050:301:B13:1A2B303 1300:12:B12:1A2B301"),
                                 QStringLiteral("1300:12:B12:1A2B301 3050:301:B13:1A2B303")}) {
        const int seen = rig.errors().count("cell changed: ");
        MMBridgeRig::control(QStringLiteral("SetCells"), {MMBridgeRig::modem(), cells});
        QTRY_COMPARE_WITH_TIMEOUT(rig.errors().count("cell changed: "), seen + 1, 10000);
    }
    QTRY_COMPARE_WITH_TIMEOUT(desktop.notices.size() + desktop.tones.size(),
                              2 * (notices.size() + tones.size()), 10000);
    QStringList back = notices;
    back.replaceInStrings(QStringLiteral("From area B12, cell 1A2B301\nto area B13, cell 1A2B303"),
                          QStringLiteral("From area B13, cell 1A2B303\nto area B12, cell 1A2B301"));
    QCOMPARE(desktop.notices, notices + back);
    QCOMPARE(desktop.tones, tones + tones);
    if (!trace.isEmpty()) {
        QTRY_VERIFY_WITH_TIMEOUT(rig.errors().contains(trace), 10000);
        QCOMPARE(rig.errors().count(trace), 1);
    }
    if (peers) {
        bus.unregisterService(QStringLiteral("org.freedesktop.Notifications"));
        bus.unregisterService(QStringLiteral("org.sigxcpu.Feedback"));
        bus.unregisterObject(QStringLiteral("/org/freedesktop/Notifications"));
        bus.unregisterObject(QStringLiteral("/org/sigxcpu/Feedback"));
    }
}

void tst_KIVO_MMBridge::statusTool_data()
{
    // The bridge's own answer is the capabilities row "Quectel in debug mode".
    QTest::addColumn<QString>("server");   // "simulator" or "" for none
    QTest::addColumn<QByteArray>("lines"); // kivo-status --telephony after its first line

    QTest::newRow("simulator") << "simulator"
                               << QByteArray("  backend        simulator\n"
                                             "  cellBarAccess  yes\n"
                                             "  cellInfo       yes\n"
                                             "  cellLock       yes\n"
                                             "  cellLockRat    gsm\n"
                                             "  debugMode      no\n"
                                             "  modem          kivo-sim-telephony\n");
    QTest::newRow("nobody") << "" << QByteArray();
}

void tst_KIVO_MMBridge::statusTool()
{
    QFETCH(QString, server);
    QFETCH(QByteArray, lines);

    QProcess simulator;
    if (!server.isEmpty()) {
        simulator.setStandardOutputFile(QProcess::nullDevice());
        simulator.start(QStringLiteral(KIVO_SIM_TELEPHONY), {});
        QTRY_VERIFY_WITH_TIMEOUT(MMBridgeRig::isOwned(QStringLiteral("org.kivo.Telephony")), 10000);
    }
    QProcess status;
    status.start(QStringLiteral(KIVO_STATUS), {QStringLiteral("--telephony")});
    QVERIFY(status.waitForFinished(10000));
    simulator.kill();
    simulator.waitForFinished(10000);
    QCOMPARE(status.exitCode(), 0);
    const QByteArray output = status.readAllStandardOutput();
    if (server.isEmpty()) {
        QCOMPARE(output, QByteArray("org.kivo.Telephony: not served\n"));
    } else {
        QVERIFY2(output.startsWith("org.kivo.Telephony (:"), output.constData());
        QCOMPARE(output.mid(output.indexOf('\n') + 1), lines);
    }
}

QTEST_GUILESS_MAIN(tst_KIVO_MMBridge)
#include "tst_kivo_mm_bridge.moc"
