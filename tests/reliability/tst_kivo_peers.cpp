// KIVO against peers that misbehave, on a private bus: an FTS engine that sends short,
// malformed, unsolicited or huge answers, and a telephony service that answers too late, dies
// in the middle of a call, restarts, or floods sticker outcomes. KIVO neither crashes nor hangs
// (it still handles a message sent after the fault) and its files stay as they were.
#include "KIVO_Engine.h"
#include "KIVO_Popups.h"
#include "KivoProcess.h"
#include "KivoTestRoot.h"
#include "PopupWatcher.h"
#include "SimProcess.h"
#include "StderrCapture.h"

#include <QApplication>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QSettings>

#include <atomic>
#include <signal.h>
#include <thread>

namespace {

const QString s_simPath = QStringLiteral("/org/kivo/Sim");
const QString s_ftsControl = QStringLiteral("org.kivo.Sim.Fts");
const QString s_telephonyControl = QStringLiteral("org.kivo.Sim.Telephony");
const QString s_ini = KivoTestRoot::defaultIniPath();
const QString s_volatile = QStringLiteral("/tmp/kivo");
const QByteArray s_iniBytes = "[KIVO]\nmsg_warning_mode=1\nkivo_mode=2\nstoredArfcn=62\n"
                              "cell_sticker_mode=1\nCell%20Sticker%20State=2\n";
const QByteArray s_volatileBytes = "[KIVO]\nCell%20Barring=2\n";
constexpr int s_flood = 3000; // sticker outcomes

QDBusMessage callSim(const QString &control, const QString &method, const QVariantList &arguments,
                     QDBusConnection bus = QDBusConnection::sessionBus())
{
    QDBusMessage call = QDBusMessage::createMethodCall(control, s_simPath, control, method);
    call.setArguments(arguments);
    return bus.call(call);
}

// A message the engine traces on arrival, sent after the fault: once it is traced, everything
// sent before it has been handled and the event loop still runs.
bool engineStillListens(const QByteArray &marker = "marker")
{
    StderrCapture capture;
    QCopChannel::send("kivo_listen_channel", marker, QByteArray());
    return QTest::qWaitFor(
        [&] { return capture.text().contains("Received data from channel " + marker); }, 20000);
}

} // namespace

class tst_KIVO_Peers : public QObject {
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void ftsAnswers_data();
    void ftsAnswers();
    void ftsHugeTitles();
    void telephonyFailsMidCall_data();
    void telephonyFailsMidCall();
    void telephonyRestarts_data();
    void telephonyRestarts();
    void kivoSurvivesFlood();
    void outcomeAfterRestartKeepsArfcn();

private:
    void checkFilesIntact(const QByteArray &ini = s_iniBytes);

    KivoTestRoot m_root;
    KIVO_Engine *m_engine = nullptr; // made for every case
};

void tst_KIVO_Peers::init()
{
    m_root.writeFlexBits("356=1\n");
    m_root.writeFile(s_ini, s_iniBytes);
    m_root.writeFile(s_volatile, s_volatileBytes);
    kivo_eng = m_engine = new KIVO_Engine;
    m_engine->setPresenter(kivoPopupPresenter());
}

void tst_KIVO_Peers::cleanup()
{
    delete m_engine;
    kivo_eng = nullptr;
}

void tst_KIVO_Peers::checkFilesIntact(const QByteArray &ini)
{
    QCOMPARE(m_root.readFile(s_ini), ini);
    QCOMPARE(m_root.readFile(s_volatile), s_volatileBytes);
}

void tst_KIVO_Peers::ftsAnswers_data()
{
    QTest::addColumn<QString>("channel");
    QTest::addColumn<QString>("message");
    QTest::addColumn<QByteArray>("data");
    QTest::addColumn<QStringList>("titles"); // afterwards
    QTest::addColumn<quint64>("favourites");

    const QString kivo = QStringLiteral("kivo_listen_channel");
    const QString titles = QStringLiteral("getTiltlesRsp(QString, QString)");
    const QString favourites = QStringLiteral("getFavouritesRsp(QString, QString)");
    const QByteArray titleA = QByteArray::fromHex("0000000200") + "A";

    QTest::newRow("truncated: favourites of 3 bytes")
        << kivo << favourites << QByteArray::fromHex("000001") << QStringList() << quint64(0);
    QTest::newRow("truncated: favourites of 7 bytes")
        << kivo << favourites << QByteArray::fromHex("00000001000000") << QStringList()
        << (quint64(1) << 32);
    QTest::newRow("truncated: count 3, one title")
        << kivo << titles << QByteArray::fromHex("03") + titleA << QStringList{"A", "", ""}
        << quint64(0);
    QTest::newRow("truncated: inside the length of a title")
        << kivo << titles << QByteArray::fromHex("02") + titleA + QByteArray::fromHex("0000")
        << QStringList{"A", ""} << quint64(0);
    QTest::newRow("corrupt: odd byte count")
        << kivo << titles << QByteArray::fromHex("01000000030041") << QStringList{""} << quint64(0);
    QTest::newRow("corrupt: length far beyond the block")
        << kivo << titles << QByteArray::fromHex("01fffffff00041") << QStringList{""} << quint64(0);
    QTest::newRow("corrupt: count 255, no titles")
        << kivo << titles << QByteArray::fromHex("ff") << QStringList(255, QString()) << quint64(0);
    QTest::newRow("unsolicited: favourites")
        << kivo << favourites << QByteArray::fromHex("0000000500000003") << QStringList()
        << Q_UINT64_C(0x500000003);
    QTest::newRow("unsolicited: titles on another channel")
        << QStringLiteral("fts_listen_channel") << titles << QByteArray::fromHex("01") + titleA
        << QStringList() << quint64(0);
}

// Each answer comes from the FTS engine simulator, as the FTS engine would send it.
void tst_KIVO_Peers::ftsAnswers()
{
    QFETCH(QString, channel);
    QFETCH(QString, message);
    QFETCH(QByteArray, data);
    QFETCH(QStringList, titles);
    QFETCH(quint64, favourites);

    SimProcess fts(QStringLiteral(KIVO_SIM_FTS), s_ftsControl);
    QVERIFY(fts.start());
    QCOMPARE(callSim(s_ftsControl, QStringLiteral("SendRaw"), {channel, message, data}).type(),
             QDBusMessage::ReplyMessage);
    QVERIFY(engineStillListens());

    QCOMPARE(int(m_engine->titlesNum), titles.size());
    for (int i = 0; i < titles.size(); ++i) {
        QCOMPARE(m_engine->titlesArray[i], titles.at(i));
    }
    QCOMPARE(m_engine->fabBitMap, favourites);
    QCOMPARE(m_engine->visBitMap, quint64(0));
    checkFilesIntact();
}

// 255 titles of 10,000 characters each (5 MB on the bus), twice: the second replaces the first.
// Sent from a connection of its own, as any process on the bus may send on the channel.
void tst_KIVO_Peers::ftsHugeTitles()
{
    QByteArray block(1, char(255));
    for (int i = 0; i < 255; ++i) {
        // 20,000 bytes of UTF-16, big-endian: the letter i % 26 from 'a', 10,000 times.
        block += QByteArray::fromHex("00004e20") +
                 (QByteArray(1, 0) + char('a' + i % 26)).repeated(10000);
    }
    QDBusConnection peer =
        QDBusConnection::connectToBus(QDBusConnection::SessionBus, QStringLiteral("fts-peer"));
    QDBusMessage answer = QDBusMessage::createSignal(
        QStringLiteral("/QCop"), QStringLiteral("org.kivo.QCop"), QStringLiteral("Message"));
    answer << QStringLiteral("kivo_listen_channel")
           << QStringLiteral("getTiltlesRsp(QString, QString)") << block;

    StderrCapture capture;
    QVERIFY(peer.send(answer));
    QVERIFY(peer.send(answer));
    QTRY_COMPARE_WITH_TIMEOUT(int(capture.text().count("Allocating 255 titles")), 2, 30000);
    QDBusConnection::disconnectFromBus(QStringLiteral("fts-peer"));
    QVERIFY(engineStillListens());
    QCOMPARE(int(m_engine->titlesNum), 255);
    QCOMPARE(m_engine->titlesArray[0], QString(10000, QLatin1Char('a')));
    QCOMPARE(m_engine->titlesArray[254], QString(10000, QLatin1Char('u')));
    checkFilesIntact();
}

void tst_KIVO_Peers::telephonyFailsMidCall_data()
{
    QTest::addColumn<int>("replyDelay");
    QTest::addColumn<bool>("killed"); // by SIGKILL once the call has reached the service
    QTest::addColumn<QStringList>("popups");

    QTest::newRow("answers too late") << 4000 << false << QStringList{"KIVO: TAPI Error: Timeout!"};
    QTest::newRow("dies in the middle of the call")
        << 2500 << true
        << QStringList{"KIVO: TAPI Disconnected: TAPI Device Closed!",
                       "KIVO: TAPI Error: Timeout!"};
}

// "Cell Bar Access" with a service that answers after KIVO has given up, or ends while KIVO waits:
// the time-out popup (and the device closed), mode and files unchanged, a late answer harmless.
void tst_KIVO_Peers::telephonyFailsMidCall()
{
    QFETCH(int, replyDelay);
    QFETCH(bool, killed);
    QFETCH(QStringList, popups);

    SimProcess telephony(QStringLiteral(KIVO_SIM_TELEPHONY), s_telephonyControl);
    QVERIFY(telephony.start({QStringLiteral("--reply-delay"), QString::number(replyDelay)}));
    const qint64 pid = QDBusConnection::sessionBus().interface()->servicePid(s_telephonyControl);
    QVERIFY(pid > 0);
    if (killed) {
        m_engine->ActivateTapiDevice();
    }
    m_engine->cellBarMode = 2;

    // Killed from another thread once the call has reached the service: the GUI thread waits.
    std::atomic<bool> done{!killed};
    std::thread killer([&] {
        QDBusConnection bus =
            QDBusConnection::connectToBus(QDBusConnection::SessionBus, QStringLiteral("killer"));
        for (int i = 0; i < 500 && !done; ++i) {
            const QDBusMessage count =
                callSim(s_telephonyControl, "CallCount", {"SetCellBarAccessMode"}, bus);
            if (count.arguments().value(0).toUInt() > 0) {
                done = ::kill(pid_t(pid), SIGKILL) == 0;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
        QDBusConnection::disconnectFromBus(QStringLiteral("killer"));
    });
    PopupWatcher watcher;
    KIVO_CellBar screen(nullptr, "Active Features");
    const bool chosen = chooseCellBarMode(screen);
    killer.join();
    QVERIFY(chosen);
    QVERIFY(done);
    QVERIFY(watcher.waitForCount(popups.size()));
    // The late answer reaches a client that no longer waits for it.
    QTRY_VERIFY_WITH_TIMEOUT(killed || telephony.output().contains("-> "), 10000);
    QVERIFY(engineStillListens());
    QStringList seen;
    for (const PopupSeen &popup : watcher.seen()) {
        seen << popup.title + ": " + popup.text;
    }
    seen.sort();
    QCOMPARE(seen, popups);
    QCOMPARE(m_engine->cellBarMode, 2);
    QVERIFY(!killed || m_engine->tapiInvalid() == 1);
    checkFilesIntact();
}

void tst_KIVO_Peers::telephonyRestarts_data()
{
    QTest::addColumn<bool>("kivoFirst");
    QTest::addColumn<QStringList>("arguments");

    // Started first, KIVO's registration fails and its 300 ms retry runs on for good.
    QTest::newRow("KIVO first, events broadcast") << true << QStringList();
    // Registered at the first try, KIVO has no retry running: only the new owner of the name
    // makes it register again, and a service that sends events to registered clients alone
    // reaches it only then.
    QTest::newRow("service first, events to registered clients only")
        << false << QStringList{QStringLiteral("--unicast-events")};
}

// KIVO sees the service end and registers with the service that starts again; an outcome of
// the new service reaches it.
void tst_KIVO_Peers::telephonyRestarts()
{
    QFETCH(bool, kivoFirst);
    QFETCH(QStringList, arguments);

    PopupWatcher watcher;
    {
        SimProcess first(QStringLiteral(KIVO_SIM_TELEPHONY), s_telephonyControl);
        if (kivoFirst) {
            m_engine->ActivateTapiDevice();
            QCOMPARE(m_engine->tapiInvalid(), 1);
        }
        QVERIFY(first.start(arguments));
        if (!kivoFirst) {
            m_engine->ActivateTapiDevice();
        }
        QTRY_VERIFY_WITH_TIMEOUT(first.output().contains(" Register("), 10000);
    }
    QVERIFY(watcher.waitForCount(1));
    QCOMPARE(watcher.seen().at(0).text, QStringLiteral("TAPI Device Closed!"));

    SimProcess second(QStringLiteral(KIVO_SIM_TELEPHONY), s_telephonyControl);
    QVERIFY(second.start(arguments));
    QTRY_VERIFY_WITH_TIMEOUT(second.output().contains(" Register("), 10000);
    callSim(s_telephonyControl, QStringLiteral("InjectEvent"),
            {QVariant::fromValue(quint16(0x0F03)), QByteArray::fromHex("0a000000")});
    QVERIFY(watcher.waitForCount(2));
    QCOMPARE(watcher.seen().at(1).title, QStringLiteral("Cell Sticker Information"));
    QVERIFY(watcher.seen().at(1).text.endsWith(QStringLiteral("Arfcn is Ok")));
}

// The kivo program under 3,000 sticker outcomes and a flapping service, nobody closing its popups: it
// still handles a message, its memory and stack stay bounded, its files as they were.
void tst_KIVO_Peers::kivoSurvivesFlood()
{
    constexpr int kLosses = 400;
    // No sticker pending or set: the outcomes give KIVO nothing to store.
    const QByteArray idle = "[KIVO]\nmsg_warning_mode=1\nkivo_mode=2\nstoredArfcn=62\n"
                            "cell_sticker_mode=0\nCell%20Sticker%20State=0\n";
    m_root.writeFile(s_ini, idle);
    TelephonyPeer peer;
    KivoProcess kivo(m_root.root());
    QVERIFY(kivo.startWith(peer));
    const qint64 before = kivo.statusKb(QStringLiteral("VmRSS"));
    QVERIFY(before > 0);

    for (int i = 0; i < s_flood; ++i) {
        peer.emitEvent(0x0F03, QByteArray::fromHex("02000000"));
    }
    for (int i = 0; i < kLosses; ++i) {
        peer.releaseName();
        QVERIFY(peer.claimName());
    }
    QVERIFY(QTest::qWaitFor(
        [&] {
            return kivo.traces().count("\nProcessing tapi event") >= s_flood || !kivo.isRunning();
        },
        120000));
    QVERIFY(kivo.handles("after"));
    qInfo("kivo after the flood: VmRSS %lld kB (from %lld), VmHWM %lld kB, VmStk %lld kB",
          kivo.statusKb(QStringLiteral("VmRSS")), before, kivo.statusKb(QStringLiteral("VmHWM")),
          kivo.statusKb(QStringLiteral("VmStk")));
    const qint64 growth = kivo.statusKb(QStringLiteral("VmRSS")) - before;
    // 3,000 notices open at once took 366 MB.
    QVERIFY2(growth < 64 * 1024, qPrintable(QString::number(growth)));
    // Each popup open over another took about 2.6 KB of stack: 400 nested took over 1 MB.
    const qint64 stack = kivo.statusKb(QStringLiteral("VmStk"));
    QVERIFY2(stack < 512, qPrintable(QString::number(stack)));
    checkFilesIntact(idle);
}

// KIVO restarted with a sticker set (state 2 on ARFCN 62) gets an outcome before the Cell Sticker
// screen or the ARFCN popup has been opened: the stored ARFCN stays 62 and the notice shows it.
void tst_KIVO_Peers::outcomeAfterRestartKeepsArfcn()
{
    TelephonyPeer peer;
    KivoProcess kivo(m_root.root());
    QVERIFY(kivo.startWith(peer));

    peer.emitEvent(0x0F03, QByteArray::fromHex("02000000"));
    QVERIFY(QTest::qWaitFor([&] { return kivo.traces().contains("\nValue of arfcn = "); }, 20000));
    QVERIFY2(kivo.traces().contains("\nValue of arfcn = 62"), kivo.traces().constData());
    QVERIFY(kivo.handles("after"));
    QSettings ini(m_root.root() + s_ini, QSettings::IniFormat);
    QCOMPARE(ini.value(QStringLiteral("KIVO/storedArfcn")).toString(), QStringLiteral("62"));
    QCOMPARE(ini.value(QStringLiteral("KIVO/Cell Sticker State")).toInt(), 2);
}

QTEST_MAIN(tst_KIVO_Peers)
#include "tst_kivo_peers.moc"
