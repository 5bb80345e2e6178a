// The FTS Options screen against an FTS engine on the test's private bus: opened from the main
// menu, the titles retry, the editors waiting for titles, and the availability choice as the
// application manager and the settings file see it.
#include "FtsPeer.h"
#include "KIVO_FTSOptions_P2.h"
#include "KIVO_Favourites.h"
#include "KIVO_MainScreen.h"
#include "KIVO_Settings.h"
#include "KIVO_Visibles.h"
#include "KivoTestRoot.h"
#include "PopupWatcher.h"
#include "StderrCapture.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QPointer>

class tst_KIVO_FtsOptions : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void openFromMainMenu();
    void titlesRetry();
    void editorsWaitForTitles();
    void availability_data();
    void availability();

    // org.kivo.SystemState.ClientEvent as the application manager receives it.
    void clientEvent(int event)
    {
        m_events << event;
    }

private:
    KivoTestRoot m_root;
    QList<int> m_events;
};

void tst_KIVO_FtsOptions::initTestCase()
{
    QVERIFY(QDBusConnection::sessionBus().connect(QString(), "/org/kivo/SystemState",
                                                  "org.kivo.SystemState", "ClientEvent", this,
                                                  SLOT(clientEvent(int))));
}

void tst_KIVO_FtsOptions::openFromMainMenu()
{
    EngineScope scope;
    FtsPeer peer;
    peer.answering = false;
    KIVO_MainScreen mainScreen(nullptr, nullptr);
    mainScreen.show();
    StderrCapture capture;
    QTest::keyClick(&mainScreen, Qt::Key_Return);
    QCOMPARE(capture.text(), QByteArray("[KIVO] start KIVO_FTS_Options_P2()\r\n"
                                        "[KIVO] pernu KIVO_FTSOptions::KIVO_FTSOptions \r\n"
                                        "[KIVO] pernu in FTSOptions getTitleInfo()\r\n"
                                        "[KIVO] KIVO_Engine::getTitleInfo \r\n"
                                        "[KIVO] show FTSOptions \r\n"));
    QPointer<KIVO_FTSOptions_P2> screen = shown<KIVO_FTSOptions_P2>();
    QVERIFY(screen);
    QCOMPARE(rowsOf(screen).size(), 3);
    QCOMPARE(rowsOf(screen).last(), QStringLiteral("Edit Visibles"));
    QCOMPARE(screen->windowTitle(), QStringLiteral("FTS Options"));
    QCOMPARE(softKeysOf(screen), "|Exit");
    QCOMPARE(peer.requestsFrom(0), QByteArrayList{"getTitles(QString,QString) "});

    // Exit hides and puts no title back; chosen again, a fresh screen replaces it.
    QTest::keyClick(screen.data(), Qt::Key_F2);
    QVERIFY(!screen->isVisible());
    QCOMPARE(titleOf(&mainScreen), "FTS Options");
    QTest::keyClick(&mainScreen, Qt::Key_Return);
    QVERIFY(screen.isNull());
    QVERIFY(shown<KIVO_FTSOptions_P2>());
}

// While no FTS engine answers, the screen asks again, hidden too; the tick after the titles came
// stops the retry for good, so titles lost afterwards (an unasked empty list) bring none. Only
// time passing can show that.
void tst_KIVO_FtsOptions::titlesRetry()
{
    const QByteArray retry = "[KIVO]***************retry get titles******* \r\n";
    EngineScope scope;
    FtsPeer peer;
    peer.answering = false;
    peer.titles = QStringList{"Serving Cell", "Ciphering"};
    StderrCapture capture;
    KIVO_FTSOptions_P2 screen(nullptr, nullptr);
    QTest::keyClick(&screen, Qt::Key_F2);
    QTRY_VERIFY_WITH_TIMEOUT(peer.names.count("getTitles(QString,QString)") >= 3, 15000);
    QVERIFY(capture.text().count(retry) >= 2);
    peer.answering = true;
    QTRY_COMPARE_WITH_TIMEOUT(int(scope.engine.titlesNum), 2, 5000);
    QTest::qWait(2500);
    FtsPeer::send("getTiltlesRsp(QString, QString)", FtsPeer::titlesBlock({}));
    QTRY_COMPARE(int(scope.engine.titlesNum), 0);
    capture.clear();
    QVERIFY(!QTest::qWaitFor([&] { return capture.text().contains(retry); }, 4500));
}

void tst_KIVO_FtsOptions::editorsWaitForTitles()
{
    EngineScope scope;
    FtsPeer peer;
    peer.answering = false;
    PopupWatcher popups;
    KIVO_FTSOptions_P2 screen(nullptr, nullptr);
    auto *list = screen.findChild<PlListBox *>();
    emit list->selected(1);
    emit list->selected(2);
    QCOMPARE(popups.seen().size(), 2);
    for (const PopupSeen &seen : popups.seen()) {
        QCOMPARE(seen.className + ':' + seen.text, "PlNoticeDlg:List N/A,Please Wait");
    }
    QVERIFY(!shown<KIVO_Favourites>() && !shown<KIVO_Visibles>());

    FtsPeer::send("getTiltlesRsp(QString, QString)",
                  FtsPeer::titlesBlock({"Serving Cell", "Neighbour Cells", "Timing Advance",
                                        "Power Control", "Channel Info"}));
    QTRY_COMPARE(int(scope.engine.titlesNum), 5);
    emit list->selected(2);
    QPointer<KIVO_Visibles> first = shown<KIVO_Visibles>();
    QVERIFY(first);
    emit list->selected(2);
    QVERIFY(first.isNull());
    QVERIFY(shown<KIVO_Visibles>());
    emit list->selected(1);
    QVERIFY(shown<KIVO_Favourites>());
    QCOMPARE(popups.seen().size(), 2);
}

void tst_KIVO_FtsOptions::availability_data()
{
    QTest::addColumn<QByteArray>("stored"); // the settings file before; empty: none
    QTest::addColumn<int>("preselected");
    QTest::addColumn<int>("choice"); // -1: cancelled
    QTest::addColumn<QList<int>>("events");
    QTest::addColumn<QByteArray>("after"); // the settings file after
    QTest::addColumn<QString>("popups");   // the confirmation, "title|text"; "|" none
    QTest::addColumn<QByteArray>("trace");

    const QByteArray seven("[KIVO]\nkivo_mode=7\n");
    const QByteArray one("[KIVO]\nkivo_mode=1\n");
    const QString set = QStringLiteral("FTS Options|FTS successfully set to: ");
    QTest::newRow("stored 7 reads as Permanently On, and accepting writes 2")
        << seven << 2 << 2 << QList<int>{30} << QByteArray("[KIVO]\nkivo_mode=2\n")
        << set + "Permanently On" << QByteArray("values are 7 2 Going in");
    QTest::newRow("the current mode posts and confirms but writes nothing")
        << one << 1 << 1 << QList<int>{30} << one << set + "Temorarily On"
        << QByteArray("values are 1 1 ");
    QTest::newRow("Off posts 31") << one << 1 << 0 << QList<int>{31}
                                  << QByteArray("[KIVO]\nkivo_mode=0\n") << set + "Off"
                                  << QByteArray("values are 1 0 Going in");
    QTest::newRow("no file: Temporarily On writes 1")
        << QByteArray() << 0 << 1 << QList<int>{30} << one << set + "Temorarily On"
        << QByteArray("values are 0 1 Going in");
    QTest::newRow("cancelled changes nothing")
        << seven << 2 << -1 << QList<int>{} << seven << "|" << QByteArray();
}

void tst_KIVO_FtsOptions::availability()
{
    QFETCH(QByteArray, stored);
    QFETCH(int, preselected);
    QFETCH(int, choice);
    QFETCH(QList<int>, events);
    QFETCH(QByteArray, trace);

    const QString ini = KivoTestRoot::defaultIniPath();
    m_root.remove(ini);
    if (!stored.isEmpty()) {
        m_root.writeFile(ini, stored);
    }
    EngineScope scope;
    loadSettings(&scope.engine);
    m_events.clear();
    PopupWatcher popups;
    popups.answer(choice < 0 ? PopupWatcher::Answer::Cancel : PopupWatcher::Answer::Accept, choice);
    popups.answer(PopupWatcher::Answer::Accept);
    KIVO_FTSOptions_P2 screen(nullptr, nullptr);
    StderrCapture capture;
    QTest::keyClick(&screen, Qt::Key_Return);

    QCOMPARE(popups.seen().size(), choice < 0 ? 1 : 2);
    const PopupSeen dialog = popups.seen().first();
    QCOMPARE(dialog.title, QStringLiteral("FTS Options"));
    QCOMPARE(dialog.rows, (QStringList{"Off", "Temporarily On", "Permanently On"}));
    QCOMPARE(dialog.currentRow, preselected);
    QCOMPARE(dialog.checked.indexOf(true), preselected);
    QCOMPARE(dialog.checked.count(true), 1);
    QTEST(popups.seen().value(1).title + '|' + popups.seen().value(1).text, "popups");
    const QByteArray traced = capture.text();
    QVERIFY2(trace.isEmpty() ? !traced.contains("values are") : traced.contains(trace), traced);
    QCOMPARE(traced.contains("Going in"), trace.contains("Going in"));
    QTEST(m_root.readFile(ini), "after");

    // A marker event of our own: one sender's signals keep their order on the bus.
    QDBusMessage marker =
        QDBusMessage::createSignal("/org/kivo/SystemState", "org.kivo.SystemState", "ClientEvent");
    QDBusConnection::sessionBus().send(marker << -1);
    QTRY_VERIFY(m_events.contains(-1));
    QCOMPARE(m_events, events << -1);
}

QTEST_MAIN(tst_KIVO_FtsOptions)
#include "tst_kivo_ftsoptions.moc"
