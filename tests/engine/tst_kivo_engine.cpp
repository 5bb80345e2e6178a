// The engine against a telephony service on a private bus, without a display: registration and
// its retry, the events that reach the cell sticker handler, the device closing, the popups the
// engine opens by itself taking turns. The popups go to a presenter of the test's own.
#include "KIVO_Engine.h"
#include "KivoTestRoot.h"
#include "QCopChannel.h"
#include "StderrCapture.h"
#include "TelephonyPeer.h"
#include "UTIL_TAPI_Event.h"

#include <QDBusServiceWatcher>
#include <QProcess>
#include <QTest>
#include <QTimer>

#include <functional>
#include <memory>
#include <vector>

namespace {

// The user in front of the engine's popups: each popup is shown modally, with a nested event
// loop, until `ready` holds, then closed. Keeps "title: text" of each popup closed (a telephony
// error as "title: code") and the most popups open at once.
class Presenter : public KIVO_Presenter {
public:
    void show(const KIVO_EnginePopup &popup) override
    {
        mostOpen = qMax(mostOpen, ++m_open);
        // A popup whose moment never comes closes after a minute; the checks then fail.
        static_cast<void>(QTest::qWaitFor(ready, 60000));
        --m_open;
        closed << popup.title + ": " +
                      (popup.kind == KIVO_EnginePopup::Kind::TapiError ? QString::number(popup.code)
                                                                       : popup.text);
    }

    std::function<bool()> ready = [] { return true; };
    QStringList closed;
    int mostOpen = 0;

private:
    int m_open = 0;
};

} // namespace

class tst_KIVO_Engine : public QObject {
    Q_OBJECT

private slots:
    void registrationRetry();
    void busyWhileRegistering_data();
    void busyWhileRegistering();
    void dispatchFilter_data();
    void dispatchFilter();
    void outcomesWaitTheirTurn();
    void deviceClosedShowsPopupEachTime();

private:
    KivoTestRoot m_root;
};

namespace {

// Counts the Register calls that cross the bus as dbus-monitor sees them, also those made while
// no service is there. Ended by its destructor should a check fail.
class RegisterMonitor {
public:
    RegisterMonitor()
    {
        m_process.start(QStringLiteral("dbus-monitor"),
                        {QStringLiteral("--session"),
                         QStringLiteral("type='method_call',interface='org.kivo.Telephony',"
                                        "member='Register'")});
    }
    ~RegisterMonitor()
    {
        m_process.kill();
        m_process.waitForFinished(5000);
    }
    // The monitor is ready once it has printed its own NameAcquired signal.
    bool ready()
    {
        return QTest::qWaitFor([this] { return seen().contains("NameAcquired"); });
    }
    int calls()
    {
        return int(seen().count("\nmethod call "));
    }

private:
    const QByteArray &seen()
    {
        m_seen += m_process.readAllStandardOutput();
        return m_seen;
    }

    QProcess m_process;
    QByteArray m_seen;
};

} // namespace

void tst_KIVO_Engine::registrationRetry()
{
    TelephonyPeer peer;
    peer.answer({-5});
    RegisterMonitor monitor;
    QVERIFY(monitor.ready());
    QCOMPARE(monitor.calls(), 0);
    KIVO_Engine engine;
    Presenter presenter;
    engine.setPresenter(&presenter);
    engine.ActivateTapiDevice();
    // The first attempt goes out whether or not the service is there.
    QTRY_COMPARE(monitor.calls(), 1);
    QCOMPARE(engine.tapiInvalid(), 1);

    // While the device reports itself invalid, ticks make no call: a second or so of ticks.
    QTest::qWait(1000);
    QCOMPARE(monitor.calls(), 1);

    // The service appears but refuses: every tick tries again, silently.
    QVERIFY(peer.claimName());
    QTRY_COMPARE(engine.tapiInvalid(), 0);
    QTRY_VERIFY_WITH_TIMEOUT(monitor.calls() >= 3, 5000);

    // A slow refusal, answered after several ticks' time: the next attempt still follows
    // each answer, and only then.
    peer.answerAfter(1000, {-1});
    int before = monitor.calls();
    QTRY_VERIFY_WITH_TIMEOUT(monitor.calls() >= before + 3, 15000);

    // The service accepts: events of type 0x0F03 now reach the engine, and ticks go on
    // registering.
    peer.answer({7});
    before = monitor.calls();
    QTRY_VERIFY_WITH_TIMEOUT(monitor.calls() >= before + 2, 5000);
    peer.emitEvent(0x0F03, QByteArray::fromHex("06000000"));
    QTRY_COMPARE(presenter.closed.size(), 1);
    QVERIFY2(presenter.closed.at(0).startsWith(QStringLiteral("Cell Sticker Information: ")),
             qPrintable(presenter.closed.at(0)));
    QVERIFY2(presenter.closed.at(0).endsWith(QStringLiteral("Mode Entered")),
             qPrintable(presenter.closed.at(0)));
    QCOMPARE(peer.mostUnanswered(), 1);
}

// A service that holds its name but answers Register late: what comes meanwhile (a QCop
// message, the device closing) is handled while the call is out, and an engine deleted before
// the answer is not called back.
void tst_KIVO_Engine::busyWhileRegistering_data()
{
    QTest::addColumn<bool>("serviceGoes");
    QTest::addColumn<int>("answer"); // to every Register

    QTest::newRow("message") << false << -1;
    QTest::newRow("device closed, then message") << true << -1;
    // The call out may have gone to the owner that left: one more Register follows its answer,
    // and no other once that one is accepted.
    QTest::newRow("device closed, then accepted") << true << 7;
}

void tst_KIVO_Engine::busyWhileRegistering()
{
    QFETCH(bool, serviceGoes);
    QFETCH(int, answer);

    TelephonyPeer peer;
    peer.answerAfter(2500, {answer});
    QVERIFY(peer.claimName());
    auto engine = std::make_unique<KIVO_Engine>();
    Presenter presenter;
    engine->setPresenter(&presenter);
    // How many calls the service had left unanswered each time the engine took a message.
    QList<int> unansweredAtMessage;
    connect(engine->listenChannel, &QCopChannel::received, this,
            [&] { unansweredAtMessage << peer.unanswered(); });
    engine->ActivateTapiDevice();
    QTRY_COMPARE(peer.calls(QStringLiteral("Register")).size(), 1);

    if (serviceGoes) {
        peer.releaseName();
        QTRY_COMPARE(presenter.closed,
                     QStringList{QStringLiteral("KIVO: TAPI Disconnected: TAPI Device Closed!")});
        QVERIFY(peer.claimName());
    }
    QCopChannel::send("kivo_listen_channel", "marker", QByteArray());
    QTRY_COMPARE(unansweredAtMessage.size(), 1);
    QCOMPARE(unansweredAtMessage.at(0), 1);

    // The refusal comes; the retry follows it.
    QTRY_VERIFY_WITH_TIMEOUT(peer.calls(QStringLiteral("Register")).size() >= 2, 10000);
    if (answer >= 0) {
        // The second answer comes 2.5 s after the second call; nothing may follow it.
        QTest::qWait(4000);
        QCOMPARE(peer.calls(QStringLiteral("Register")).size(), 2);
    }
    engine.reset();
    QTRY_VERIFY_WITH_TIMEOUT(peer.unanswered() == 0, 10000);
    // The late answer reaches a connection whose engine has gone.
    QTest::qWait(100);
}

void tst_KIVO_Engine::dispatchFilter_data()
{
    QTest::addColumn<quint16>("type");
    QTest::addColumn<QByteArray>("data");
    QTest::addColumn<int>("popups");

    QTest::newRow("0x0F03 with a code") << quint16(0x0F03) << QByteArray::fromHex("02000000") << 1;
    QTest::newRow("0x0F03 empty") << quint16(0x0F03) << QByteArray() << 0;
    QTest::newRow("0x0F03 of 3 bytes") << quint16(0x0F03) << QByteArray::fromHex("000100") << 0;
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
    Presenter presenter;
    engine.setPresenter(&presenter);
    StderrCapture capture;
    UTIL_TAPI_Event event(type, data);
    engine.ProcessTAPIEvent(&event);
    engine.ProcessTAPIEvent(nullptr);
    QCOMPARE(presenter.closed.size(), popups);
    const QByteArray traces = capture.text();
    QVERIFY2(traces.startsWith("\nProcessing tapi event"), traces.constData());
    QCOMPARE(int(traces.count("\nProcessing tapi event")), 2);
    QCOMPARE(int(traces.count("\nUpdate sticker")), popups);
}

// Outcomes that arrive while a notice is open wait their turn: one notice is open at a time,
// in the order the outcomes came, and none is lost. 25 outcomes, all but the first arriving
// inside the first one's notice.
void tst_KIVO_Engine::outcomesWaitTheirTurn()
{
    const QStringList texts =
        QStringLiteral("Wrong PLMN|Forbidden LAI|Cell Barred|Invalid Information|"
                       "Failed for Unknown Reason|NC RESEL|Mode Entered|"
                       "Cell Sticker Stopped|Scanning for Cell|Suspended Dedicated Mode")
            .split(QLatin1Char('|'));
    KIVO_Engine engine;
    Presenter presenter;
    engine.setPresenter(&presenter);
    engine.arfcn = 62;
    std::vector<std::unique_ptr<UTIL_TAPI_Event>> events;
    QStringList expected;
    for (int i = 0; i < 25; ++i) {
        events.push_back(std::make_unique<UTIL_TAPI_Event>(0x0F03, QByteArray(1, char(i % 10)) +
                                                                       QByteArray(3, '\0')));
        expected << texts.at(i % 10);
        UTIL_TAPI_Event *event = events.back().get();
        if (i > 0) {
            QTimer::singleShot(0, &engine, [&engine, event] { engine.ProcessTAPIEvent(event); });
        }
    }
    StderrCapture capture;
    presenter.ready = [&] { return capture.text().count("\nProcessing tapi event") == 25; };
    engine.ProcessTAPIEvent(events.front().get());

    QStringList shown;
    for (const QString &text : presenter.closed) {
        shown << text.section(QLatin1Char('\n'), -1);
    }
    QCOMPARE(shown.size(), 25);
    QCOMPARE(shown, expected);
    QCOMPARE(presenter.mostOpen, 1);
}

// The service flaps: 300 losses while nobody closes a popup, then they are closed one by one.
// One "TAPI Device Closed!" is open at a time and every loss shows one; the engine lives on.
void tst_KIVO_Engine::deviceClosedShowsPopupEachTime()
{
    constexpr int kLosses = 300;
    TelephonyPeer peer;
    peer.answer({1});
    QVERIFY(peer.claimName());
    KIVO_Engine engine;
    Presenter presenter;
    engine.setPresenter(&presenter);
    engine.ActivateTapiDevice();
    int losses = 0;
    QDBusServiceWatcher lost(QStringLiteral("org.kivo.Telephony"), QDBusConnection::sessionBus(),
                             QDBusServiceWatcher::WatchForUnregistration);
    connect(&lost, &QDBusServiceWatcher::serviceUnregistered, &lost, [&] { ++losses; });

    presenter.ready = [&] { return losses == kLosses; };
    for (int i = 0; i < kLosses; ++i) {
        peer.releaseName();
        QVERIFY(peer.claimName());
    }
    QTRY_COMPARE_WITH_TIMEOUT(int(presenter.closed.size()), kLosses, 60000);
    QCOMPARE(presenter.closed,
             QStringList(kLosses, QStringLiteral("KIVO: TAPI Disconnected: TAPI Device Closed!")));
    QCOMPARE(presenter.mostOpen, 1);
    QTRY_COMPARE(engine.tapiInvalid(), 0);
}

QTEST_GUILESS_MAIN(tst_KIVO_Engine)
#include "tst_kivo_engine.moc"
