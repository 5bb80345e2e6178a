// The engine against a telephony service on a private bus: registration and its retry, the
// events that reach the cell sticker handler, the device closing.
#include "KIVO_Engine.h"
#include "KivoTestRoot.h"
#include "PlNoticeDlg.h"
#include "PopupWatcher.h"
#include "StderrCapture.h"
#include "TelephonyPeer.h"
#include "UTIL_TAPI_Event.h"

#include <QApplication>
#include <QProcess>
#include <QTest>

class tst_KIVO_Engine : public QObject {
    Q_OBJECT

private slots:
    void registrationRetry();
    void dispatchFilter_data();
    void dispatchFilter();
    void outcomesWaitTheirTurn();
    void deviceClosedShowsPopupEachTime();

private:
    KivoTestRoot m_root;
};

namespace {

// Counts the Register calls that cross the bus, as dbus-monitor sees them.
struct RegisterCallCounter {
    QProcess monitor;
    QByteArray output;

    bool start()
    {
        monitor.start(QStringLiteral("dbus-monitor"),
                      {QStringLiteral("--session"),
                       QStringLiteral("type='method_call',interface='org.kivo.Telephony',"
                                      "member='Register'")});
        // The monitor is ready once it has printed its own NameAcquired signal.
        return monitor.waitForStarted(5000) && QTest::qWaitFor(
                                                   [this] {
                                                       count();
                                                       return output.contains("NameAcquired");
                                                   },
                                                   5000);
    }
    int count()
    {
        output += monitor.readAllStandardOutput();
        return int(output.count("member=Register"));
    }
    ~RegisterCallCounter()
    {
        monitor.kill();
        monitor.waitForFinished(5000);
    }
};

} // namespace

void tst_KIVO_Engine::registrationRetry()
{
    TelephonyPeer peer;
    peer.answer({-5});
    RegisterCallCounter calls;
    QVERIFY(calls.start());
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

void tst_KIVO_Engine::dispatchFilter_data()
{
    QTest::addColumn<quint16>("type");
    QTest::addColumn<QByteArray>("data");
    QTest::addColumn<int>("popups");

    QTest::newRow("0x0F03 with a code") << quint16(0x0F03) << QByteArray::fromHex("02000000") << 1;
    QTest::newRow("0x0F03 empty") << quint16(0x0F03) << QByteArray() << 0;
    QTest::newRow("0x0F03 of 3 bytes") << quint16(0x0F03) << QByteArray::fromHex("020000") << 0;
    QTest::newRow("0x0F02 with a code") << quint16(0x0F02) << QByteArray::fromHex("02000000") << 0;
}

// What the device passes on reaches the sticker handler only as a 0x0F03 with a result code;
// a missing event is traced and ignored.
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

// Outcomes that arrive while a sticker notice is open are told one after another, in their
// order, each in a notice of its own once the one before is closed: notices never pile up.
void tst_KIVO_Engine::outcomesWaitTheirTurn()
{
    KIVO_Engine engine;
    engine.arfcn = 62;
    PopupWatcher watcher;
    for (int i = 0; i < 3; ++i) {
        watcher.answer(PopupWatcher::Answer::Accept);
    }
    int mostOpen = 0;
    QTimer probe;
    connect(&probe, &QTimer::timeout, &probe, [&] {
        int open = 0;
        for (QWidget *widget : QApplication::topLevelWidgets()) {
            open += qobject_cast<PlNoticeDlg *>(widget) && widget->isVisible() ? 1 : 0;
        }
        mostOpen = qMax(mostOpen, open);
    });
    probe.start(0);

    UTIL_TAPI_Event scanning(0x0F03, QByteArray::fromHex("08000000"));
    UTIL_TAPI_Event wrong(0x0F03, QByteArray::fromHex("00010000"));
    UTIL_TAPI_Event ok(0x0F03, QByteArray::fromHex("0a000000"));
    // The later two arrive inside the first notice's event loop.
    QTimer::singleShot(0, &engine, [&] {
        engine.ProcessTAPIEvent(&wrong);
        engine.ProcessTAPIEvent(&ok);
    });
    engine.ProcessTAPIEvent(&scanning);

    QCOMPARE(watcher.seen().size(), 3);
    QCOMPARE(watcher.seen().at(0).text, QStringLiteral("Cell id: 62\nScanning for Cell"));
    QCOMPARE(watcher.seen().at(1).text, QStringLiteral("Wrong ARFCN entered"));
    QCOMPARE(watcher.seen().at(2).text, QStringLiteral("Cell id: 4294967295\nArfcn is Ok"));
    QCOMPARE(mostOpen, 1);
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

    // The service goes, comes back and goes again: a popup each time, and the engine lives on.
    peer.releaseName();
    QVERIFY(watcher.waitForCount(1));
    QVERIFY(peer.claimName());
    QTRY_COMPARE(engine.tapiInvalid(), 0);
    peer.releaseName();
    QVERIFY(watcher.waitForCount(2));
    for (const PopupSeen &seen : watcher.seen()) {
        QCOMPARE(seen.title, QStringLiteral("KIVO: TAPI Disconnected"));
        QCOMPARE(seen.text, QStringLiteral("TAPI Device Closed!"));
    }
    QCOMPARE(engine.tapiInvalid(), 1);
}

QTEST_MAIN(tst_KIVO_Engine)
#include "tst_kivo_engine.moc"
