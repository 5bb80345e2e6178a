// The engine against a telephony service on a private bus: registration and its retry, the
// events that reach the cell sticker handler, the device closing, a service too slow to answer.
#include "KIVO_Engine.h"
#include "KivoTestRoot.h"
#include "PopupWatcher.h"
#include "StderrCapture.h"
#include "TAPI_KIVO.h"
#include "TelephonyPeer.h"
#include "UTIL_TAPI_Event.h"

#include <QProcess>
#include <QTest>

class tst_KIVO_Engine : public QObject {
    Q_OBJECT

private slots:
    void registrationRetry();
    void eventDispatch_data();
    void eventDispatch();
    void dispatchFilter_data();
    void dispatchFilter();
    void deviceClosedShowsPopupEachTime();
    void slowServiceShowsTimeout();

private:
    KivoTestRoot m_root;
};

namespace {

// Counts the Register calls that cross the bus, as dbus-monitor sees them.
class RegisterCallCounter {
public:
    RegisterCallCounter()
    {
        m_monitor.start(QStringLiteral("dbus-monitor"),
                        {QStringLiteral("--session"),
                         QStringLiteral("type='method_call',interface='org.kivo.Telephony',"
                                        "member='Register'")});
        m_monitor.waitForStarted(5000);
        // The monitor is ready once it has printed its own NameAcquired signal.
        m_ready = QTest::qWaitFor([this] { return read().contains("NameAcquired"); }, 5000);
    }
    ~RegisterCallCounter()
    {
        m_monitor.kill();
        m_monitor.waitForFinished(5000);
    }
    bool isReady() const
    {
        return m_ready;
    }
    int count()
    {
        read();
        return int(m_output.count("member=Register"));
    }

private:
    const QByteArray &read()
    {
        m_output += m_monitor.readAllStandardOutput();
        return m_output;
    }
    QProcess m_monitor;
    QByteArray m_output;
    bool m_ready = false;
};

} // namespace

void tst_KIVO_Engine::registrationRetry()
{
    TelephonyPeer peer;
    peer.answer({-5});
    RegisterCallCounter calls;
    QVERIFY(calls.isReady());
    KIVO_Engine engine;
    engine.ActivateTapiDevice();
    // The first attempt goes out whether or not the service is there.
    QTRY_COMPARE(calls.count(), 1);
    QCOMPARE(engine.tapiInvalid(), 1);

    // While the device reports itself invalid, ticks make no call: a second or so of ticks.
    QTest::qWait(1000);
    QCOMPARE(calls.count(), 1);

    // The service appears but refuses: every tick tries again, silently.
    QVERIFY(peer.claimName());
    QTRY_COMPARE(engine.tapiInvalid(), 0);
    QTRY_VERIFY_WITH_TIMEOUT(calls.count() >= 3, 5000);

    // The service accepts: events of type 0x0F03 now reach the engine, and ticks go on
    // registering.
    peer.answer({7});
    const int before = calls.count();
    QTRY_VERIFY_WITH_TIMEOUT(calls.count() >= before + 2, 5000);
    PopupWatcher watcher;
    peer.emitEvent(0x0F03, QByteArray::fromHex("06000000"));
    QVERIFY(watcher.waitForCount(1));
    QCOMPARE(watcher.seen().at(0).title, QStringLiteral("Cell Sticker Information"));
    QVERIFY2(watcher.seen().at(0).text.endsWith(QStringLiteral("Mode Entered")),
             qPrintable(watcher.seen().at(0).text));
}

void tst_KIVO_Engine::eventDispatch_data()
{
    QTest::addColumn<quint16>("type");
    QTest::addColumn<QByteArray>("data");
    QTest::addColumn<bool>("reachesStickerHandler");
    QTest::addColumn<int>("processed"); // events the engine's dispatch saw, marker included

    QTest::newRow("0x0F03 with a result code") << quint16(0x0F03)
                                               << QByteArray::fromHex("0a000000") << true << 2;
    QTest::newRow("0x0F03 without data") << quint16(0x0F03) << QByteArray() << false << 2;
    // The device passes on only the registered type.
    QTest::newRow("another type with data") << quint16(0x0F04)
                                            << QByteArray::fromHex("06000000") << false << 1;
    QTest::newRow("type 0 with data") << quint16(0) << QByteArray::fromHex("06000000") << false
                                      << 1;
}

void tst_KIVO_Engine::eventDispatch()
{
    QFETCH(quint16, type);
    QFETCH(QByteArray, data);
    QFETCH(bool, reachesStickerHandler);
    QFETCH(int, processed);

    TelephonyPeer peer;
    peer.answer({3});
    QVERIFY(peer.claimName());
    KIVO_Engine engine;
    engine.ActivateTapiDevice();
    QTRY_COMPARE(peer.lastCall().member(), QStringLiteral("Register"));

    PopupWatcher watcher;
    StderrCapture capture;
    peer.emitEvent(type, data);
    // A marker event of the registered type shows when everything before it was handled.
    peer.emitEvent(0x0F03, QByteArray::fromHex("08000000"));
    QVERIFY(watcher.waitForCount(reachesStickerHandler ? 2 : 1));
    QTest::qWait(50);
    QCOMPARE(watcher.seen().size(), reachesStickerHandler ? 2 : 1);
    const QByteArray traces = capture.text();
    QCOMPARE(int(traces.count("\nProcessing tapi event")), processed);
    QCOMPARE(int(traces.count("\nUpdate sticker")), reachesStickerHandler ? 2 : 1);
    if (reachesStickerHandler) {
        // The marker's notice may open inside the first one's loop, so order is not fixed.
        QStringList texts;
        for (const PopupSeen &seen : watcher.seen()) {
            texts << seen.text;
        }
        QVERIFY2(texts.filter(QStringLiteral("Arfcn is Ok")).size() == 1,
                 qPrintable(texts.join('|')));
    }
}

void tst_KIVO_Engine::dispatchFilter_data()
{
    QTest::addColumn<quint16>("type");
    QTest::addColumn<QByteArray>("data");
    QTest::addColumn<int>("popups");

    QTest::newRow("0x0F03 with a code") << quint16(0x0F03) << QByteArray::fromHex("02000000") << 1;
    QTest::newRow("0x0F03 empty") << quint16(0x0F03) << QByteArray() << 0;
    QTest::newRow("0x0F02 with a code") << quint16(0x0F02) << QByteArray::fromHex("02000000") << 0;
    QTest::newRow("0xFFFF with a code") << quint16(0xFFFF) << QByteArray::fromHex("02000000") << 0;
}

void tst_KIVO_Engine::dispatchFilter()
{
    QFETCH(quint16, type);
    QFETCH(QByteArray, data);
    QFETCH(int, popups);

    KIVO_Engine engine;
    PopupWatcher watcher;
    StderrCapture capture;
    UTIL_TAPI_Event event(type, data);
    engine.ProcessTAPIEvent(&event);
    engine.ProcessTAPIEvent(nullptr);
    QCOMPARE(watcher.seen().size(), popups);
    const QByteArray traces = capture.text();
    QVERIFY2(traces.startsWith("\nProcessing tapi event"), traces.constData());
    QCOMPARE(int(traces.count("\nProcessing tapi event")), 2);
    QCOMPARE(int(traces.count("\nUpdate sticker")), popups);
}

void tst_KIVO_Engine::deviceClosedShowsPopupEachTime()
{
    TelephonyPeer peer;
    peer.answer({1});
    QVERIFY(peer.claimName());
    KIVO_Engine engine;
    engine.ActivateTapiDevice();
    PopupWatcher watcher;
    watcher.answer(PopupWatcher::Answer::Accept);
    watcher.answer(PopupWatcher::Answer::Accept);

    peer.releaseName();
    QVERIFY(watcher.waitForCount(1));
    QCOMPARE(watcher.seen().at(0).title, QStringLiteral("KIVO: TAPI Disconnected"));
    QCOMPARE(watcher.seen().at(0).text, QStringLiteral("TAPI Device Closed!"));

    // The service comes back and goes again: a second popup, and the engine lives on.
    QVERIFY(peer.claimName());
    QTRY_COMPARE(engine.tapiInvalid(), 0);
    peer.releaseName();
    QVERIFY(watcher.waitForCount(2));
    QCOMPARE(watcher.seen().at(1).text, QStringLiteral("TAPI Device Closed!"));
    QCOMPARE(engine.tapiInvalid(), 1);
}

void tst_KIVO_Engine::slowServiceShowsTimeout()
{
    TelephonyPeer peer;
    peer.answerTooLate({0});
    QVERIFY(peer.claimName());
    KIVO_Engine engine;
    const int status = TAPI_KIVO_SetCellBarAccessMode(1);
    PopupWatcher watcher;
    engine.showTapiError(status);
    QCOMPARE(watcher.seen().size(), 1);
    QCOMPARE(watcher.seen().at(0).title, QStringLiteral("KIVO: TAPI Error"));
    QCOMPARE(watcher.seen().at(0).text, QStringLiteral("Timeout!"));
}

QTEST_MAIN(tst_KIVO_Engine)
#include "tst_kivo_engine.moc"
