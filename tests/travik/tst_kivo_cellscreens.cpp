// The cell feature screens against a telephony peer on the private bus: the menus that lead to
// them, "Cell Bar Access", "Cell Change Warning", the "Arfcn" entry popup and the cell sticker end
// to end (the screen's keys and the engine's outcome events reaching the sticker machine, the
// requests byte for byte, the messages, and what the settings files hold afterwards). Every
// transition of the sticker machine is a row of tst_kivo_sticker; here one row for each way in
// and out.
#include "KIVO_ActiveFeatures.h"
#include "KIVO_CellBar.h"
#include "KIVO_CellChange.h"
#include "KIVO_CellSticker.h"
#include "KIVO_MainScreen.h"
#include "KIVO_Notification.h"
#include "KIVO_Settings.h"
#include "KIVO_TargetArfcn.h"
#include "KivoTestRoot.h"
#include "PopupWatcher.h"
#include "ScreenHelpers.h"
#include "StderrCapture.h"
#include "TelephonyPeer.h"

#include <QPointer>
#include <QSettings>

namespace {

constexpr quint16 kStickerEvent = 0x0F03;

QStringList titlesAndTexts(const PopupWatcher &watcher)
{
    QStringList seen;
    for (const PopupSeen &popup : watcher.seen()) {
        seen << popup.title << popup.text;
    }
    return seen;
}

} // namespace

class tst_KIVO_CellScreens : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanup();
    void menuRowOpens_data();
    void menuRowOpens();
    void cellBar_data();
    void cellBar();
    void cellChange_data();
    void cellChange();
    void arfcnEntry_data();
    void arfcnEntry();
    void sticker_data();
    void sticker();
    void stickerMode_data();
    void stickerMode();

private:
    // Writes the settings file, starts the engine on it as main does and opens the sticker
    // screen.
    void start(const QByteArray &ini);
    QString settled() const;
    QSettings file() const
    {
        return QSettings(m_root.path(KivoTestRoot::defaultIniPath()), QSettings::IniFormat);
    }

    KivoTestRoot m_root;
    TelephonyPeer m_peer;
    std::unique_ptr<KIVO_CellSticker> m_screen;
};

void tst_KIVO_CellScreens::initTestCase()
{
    m_peer.answer({1}); // Register
    QVERIFY(m_peer.claimName());
}

void tst_KIVO_CellScreens::menuRowOpens_data()
{
    QTest::addColumn<QByteArray>("menu");
    QTest::addColumn<int>("row");
    QTest::addColumn<QByteArray>("screen"); // the class that shows, empty for none
    QTest::addColumn<QString>("title");

    QTest::newRow("main: Active Features")
        << QByteArray("KIVO_MainScreen") << 1 << QByteArray("KIVO_ActiveFeatures")
        << "Active Features";
    QTest::newRow("main: Notification")
        << QByteArray("KIVO_MainScreen") << 2 << QByteArray("KIVO_Notification") << "Notification";
    QTest::newRow("Cell Sticker") << QByteArray("KIVO_ActiveFeatures") << 0
                                  << QByteArray("KIVO_CellSticker") << "Cell Sticker";
    QTest::newRow("Cell Bar Access") << QByteArray("KIVO_ActiveFeatures") << 1
                                     << QByteArray("KIVO_CellBar") << "Cell Bar Access";
    QTest::newRow("active row 2") << QByteArray("KIVO_ActiveFeatures") << 2
                                  << QByteArray("KIVO_CellBar") << "Cell Bar Access";
    QTest::newRow("Cell Change Warning") << QByteArray("KIVO_Notification") << 0
                                         << QByteArray("KIVO_CellChange") << "Cell Change Warning";
    QTest::newRow("notification row 1")
        << QByteArray("KIVO_Notification") << 1 << QByteArray() << "Notification";
}

void tst_KIVO_CellScreens::menuRowOpens()
{
    QFETCH(QByteArray, menu);
    QFETCH(int, row);
    QFETCH(QByteArray, screen);
    QFETCH(QString, title);

    EngineScope scope;
    std::unique_ptr<KIVO_ListScreen> opener;
    if (menu == "KIVO_MainScreen") {
        opener = std::make_unique<KIVO_MainScreen>(nullptr, nullptr);
    } else if (menu == "KIVO_ActiveFeatures") {
        opener = std::make_unique<KIVO_ActiveFeatures>(nullptr, "KIVO");
    } else {
        opener = std::make_unique<KIVO_Notification>(nullptr, "KIVO");
    }
    opener->show();
    const QString openerTitle = opener->windowTitle();
    emit opener->findChild<PlListBox *>()->selected(row);
    QCOMPARE(opener->windowTitle(), title);
    // Back (Cancel on Cell Bar Access) hides the screen and puts the opener's title back; the
    // opener deletes it.
    QPointer<QWidget> child = shown(screen.isEmpty() ? "PlMainWidget" : screen.constData());
    QVERIFY(child);
    if (child != opener.get()) {
        QTest::keyClick(child.data(), Qt::Key_F2);
        QVERIFY(child && !child->isVisible());
        QCOMPARE(opener->windowTitle(), openerTitle);
        opener.reset();
        QVERIFY(child.isNull());
    }
}

void tst_KIVO_CellScreens::cellBar_data()
{
    QTest::addColumn<QByteArray>("stored"); // "/tmp/kivo" as found
    QTest::addColumn<int>("checked");       // the row checked on opening
    QTest::addColumn<int>("downs");         // Downs from there
    QTest::addColumn<Qt::Key>("key");       // Return (the list), F1 "Select", F2 "Cancel"
    QTest::addColumn<int>("status");        // the peer's answer
    QTest::addColumn<QVariantList>("sent");
    QTest::addColumn<QStringList>("popup"); // title, text
    QTest::addColumn<int>("mode");          // cellBarMode afterwards, and in "/tmp/kivo"

    const QByteArray ignored7 = "[KIVO]\nCell Barring=7\n";
    const QByteArray normal = "[KIVO]\nCell%20Barring=0\n";
    const QStringList inverted{"Cell Barring", "Cell Bar set to: Inverted"};
    QTest::newRow("stored 7, cancelled")
        << ignored7 << 2 << 0 << Qt::Key_F2 << 0 << QVariantList() << QStringList() << 7;
    QTest::newRow("no file, Inverted by the list")
        << QByteArray() << 0 << 1 << Qt::Key_Return << 0 << QVariantList{1} << inverted << 1;
    QTest::newRow("Inverted by Select")
        << normal << 0 << 1 << Qt::Key_F1 << 0 << QVariantList{1} << inverted << 1;
    QTest::newRow("refused") << normal << 0 << 2 << Qt::Key_F1 << 4 << QVariantList{2}
                             << QStringList{"KIVO: TAPI Error", "Invalid Parameter!"} << 0;
}

void tst_KIVO_CellScreens::cellBar()
{
    QFETCH(QByteArray, stored);
    QFETCH(int, checked);
    QFETCH(int, downs);
    QFETCH(int, status);
    QFETCH(QVariantList, sent);
    QFETCH(QStringList, popup);
    QFETCH(int, mode);

    // /tmp exists on the device; the store does not create it.
    m_root.remove(QStringLiteral("/tmp/kivo"));
    m_root.writeFile(QStringLiteral("/tmp/.keep"), QByteArray());
    if (!stored.isEmpty()) {
        m_root.writeFile(QStringLiteral("/tmp/kivo"), stored);
    }
    EngineScope scope;
    m_peer.answerMethod("SetCellBarAccessMode", {status});
    const int requestsBefore = m_peer.calls("SetCellBarAccessMode").size();

    PopupWatcher watcher;
    watcher.answer(PopupWatcher::Answer::Accept);
    KIVO_CellBar screen(nullptr, "Active Features");
    screen.show();
    QCOMPARE(screen.windowTitle(), QStringLiteral("Cell Bar Access"));
    auto *list = screen.findChild<PlListBox *>();
    QVERIFY(list->itemChecked(checked));
    QTRY_COMPARE(list->currentItem(), checked);
    for (int i = 0; i < downs; ++i) {
        QTest::keyClick(&screen, Qt::Key_Down);
    }
    QFETCH(Qt::Key, key);
    QTest::keyClick(&screen, key);

    QCOMPARE(m_peer.calls("SetCellBarAccessMode").mid(requestsBefore), sent);
    QCOMPARE(watcher.seen().size(), popup.size() / 2);
    for (const PopupSeen &shown : watcher.seen()) {
        QCOMPARE(QStringList({shown.title, shown.text}), popup);
    }
    QVERIFY(!screen.isVisible());
    QCOMPARE(screen.windowTitle(), QStringLiteral("Active Features"));
    QCOMPARE(scope.engine.cellBarMode, mode);
    if (sent.isEmpty() || status != 0) {
        QCOMPARE(m_root.readFile(QStringLiteral("/tmp/kivo")), stored);
    } else {
        QSettings file(m_root.path(QStringLiteral("/tmp/kivo")), QSettings::IniFormat);
        QCOMPARE(file.value(QStringLiteral("KIVO/Cell Barring")).toInt(), mode);
    }
}

void tst_KIVO_CellScreens::cellChange_data()
{
    QTest::addColumn<QByteArray>("ini"); // as found, written by hand
    QTest::addColumn<int>("row");        // 0 message, 1 tone
    QTest::addColumn<int>("choice");     // the row chosen, -1 to cancel
    QTest::addColumn<QString>("title");
    QTest::addColumn<QList<bool>>("checked");
    QTest::addColumn<int>("value"); // the setting afterwards, in the engine and the file

    // Spaces and a comment: a store that rewrote the file would not keep these bytes.
    const QByteArray both = "[KIVO]\nmsg_warning_mode = 1\n; by hand\ntone_warning_mode = 0\n";
    const QList<bool> on{true, false};
    const QList<bool> off{false, true};

    QTest::newRow("message cancelled") << both << 0 << -1 << "ShowMessageWarning" << on << 1;
    QTest::newRow("message unchanged") << both << 0 << 0 << "ShowMessageWarning" << on << 1;
    QTest::newRow("message off") << both << 0 << 1 << "ShowMessageWarning" << on << 0;
    QTest::newRow("hand-edited tone 2 to off")
        << QByteArray("[KIVO]\ntone_warning_mode=2\n") << 1 << 1 << "ShowToneWarning" << off << 0;
}

void tst_KIVO_CellScreens::cellChange()
{
    QFETCH(QByteArray, ini);
    QFETCH(int, row);
    QFETCH(int, choice);
    QFETCH(int, value);

    const QString iniPath = KivoTestRoot::defaultIniPath();
    m_root.writeFile(iniPath, ini);
    EngineScope scope;
    KIVO_Engine &engine = scope.engine;
    loadSettings(&engine);
    const quint8 before[] = {engine.msg_warning_mode, engine.tone_warning_mode};

    PopupWatcher watcher;
    watcher.answer(choice < 0 ? PopupWatcher::Answer::Cancel : PopupWatcher::Answer::Accept,
                   choice);
    KIVO_CellChange screen(nullptr, "Notification");
    QVERIFY(screen.isVisible());
    QCOMPARE(screen.windowTitle(), QStringLiteral("Cell Change Warning"));
    press(&screen, row == 1 ? std::initializer_list<Qt::Key>{Qt::Key_Down, Qt::Key_Return}
                            : std::initializer_list<Qt::Key>{Qt::Key_Return});

    QCOMPARE(watcher.seen().size(), 1);
    QTEST(watcher.seen().first().title, "title");
    QCOMPARE(watcher.seen().first().rows, (QStringList{"On", "Off"}));
    QTEST(watcher.seen().first().checked, "checked");

    const quint8 after[] = {engine.msg_warning_mode, engine.tone_warning_mode};
    QCOMPARE(int(after[row]), value);
    QCOMPARE(after[1 - row], before[1 - row]);
    const bool changes = choice >= 0 && value != before[row];
    if (changes) {
        const char *key = row == 0 ? "KIVO/msg_warning_mode" : "KIVO/tone_warning_mode";
        QCOMPARE(file().value(key).toInt(), value);
    } else {
        QCOMPARE(m_root.readFile(iniPath), ini);
    }
}

void tst_KIVO_CellScreens::arfcnEntry_data()
{
    QTest::addColumn<int>("storedArfcn");   // the engine's, as loaded at start-up
    QTest::addColumn<QStringList>("typed"); // one entry per opening of the popup
    QTest::addColumn<Qt::Key>("key");       // F1 "Set", F2 "Cancel"
    QTest::addColumn<QString>("shown");     // the field on the last opening
    QTest::addColumn<int>("arfcn");
    QTest::addColumn<int>("state"); // in the engine and in the file
    QTest::addColumn<int>("prev");
    QTest::addColumn<QByteArray>("trace");

    // The file holds a sticker on 62 (state 2) in every row.
    QTest::newRow("none stored, empty field") << -1 << QStringList{""} << Qt::Key_F1 << "" << 0 << 1
                                              << 2 << QByteArray("value of stored arfcn = 0");
    QTest::newRow("none stored, cancelled")
        << -1 << QStringList{"5"} << Qt::Key_F2 << "" << 33 << 2 << 0 << QByteArray();
    // The file's value is shown, not the engine's, and arfcn takes it even when cancelled.
    QTest::newRow("stored, cancelled") << 7 << QStringList{""} << Qt::Key_F2 << "62" << 62 << 2 << 0
                                       << QByteArray("\nStored arfcn = 62");
    QTest::newRow("stored, replaced")
        << 62 << QStringList{"\b\b-815"} << Qt::Key_F1 << "62" << -815 << 1 << 2
        << QByteArray("\nStored arfcn = 62value of stored arfcn = -815");
    QTest::newRow("two entries in a row")
        << -1 << QStringList{"10", "11"} << Qt::Key_Return << "" << 11 << 1 << 1
        << QByteArray("value of stored arfcn = 10value of stored arfcn = 11");
}

void tst_KIVO_CellScreens::arfcnEntry()
{
    QFETCH(int, storedArfcn);
    QFETCH(QStringList, typed);
    QFETCH(Qt::Key, key);
    QFETCH(int, state);

    m_root.writeFile(KivoTestRoot::defaultIniPath(), "[KIVO]\nstoredArfcn=62\nCell%20Sticker%20State=2\n");
    EngineScope scope;
    KIVO_Engine &engine = scope.engine;
    loadSettings(&engine);
    engine.storedArfcn = storedArfcn;
    engine.arfcn = 33;

    StderrCapture capture;
    for (const QString &entry : typed) {
        KIVO_TargetArfcn popup(nullptr, nullptr);
        popup.show();
        QVERIFY(!popup.isModal());
        QCOMPARE(popup.windowTitle(), QStringLiteral("Arfcn"));
        QTEST(popup.findChild<QLineEdit *>()->text(), "shown");
        QTest::keyClicks(popup.findChild<QLineEdit *>(), entry);
        QTest::keyClick(&popup, key);
        QVERIFY(!popup.isVisible());
    }
    QTEST(capture.text(), "trace");
    QTEST(engine.arfcn, "arfcn");
    QCOMPARE(engine.cellStickerState, state);
    QTEST(engine.prevCellStickerState, "prev");
    QCOMPARE(file().value("KIVO/Cell Sticker State").toInt(), state);
    // The entered number is stored only when the telephony layer confirms it.
    QCOMPARE(file().value("KIVO/storedArfcn").toInt(), 62);
}

void tst_KIVO_CellScreens::start(const QByteArray &ini)
{
    m_root.writeFile(KivoTestRoot::defaultIniPath(), ini);
    const int registered = m_peer.calls(QStringLiteral("Register")).size();
    startKivoEngine(kivoPopupPresenter());
    // Registration goes on in the background; events are taken once it is answered.
    QTRY_VERIFY(m_peer.calls(QStringLiteral("Register")).size() > registered);
    m_screen = std::make_unique<KIVO_CellSticker>(nullptr, "Active Features");
    m_screen->show();
}

// The sticker rows start the engine as main does; the other rows have their own (EngineScope).
void tst_KIVO_CellScreens::cleanup()
{
    m_screen.reset();
    stopKivoEngine();
}

void tst_KIVO_CellScreens::sticker_data()
{
    QTest::addColumn<QByteArray>("ini");
    QTest::addColumn<QString>("typed");        // the ARFCN entered before "Set", empty for none
    QTest::addColumn<QVariantList>("answers"); // CheckArfcn, SetCellStickerMode
    QTest::addColumn<QByteArray>("event");     // raw data of a 0x0F03 event after "Set"
    QTest::addColumn<QStringList>("popups");   // title, text, ...
    QTest::addColumn<QVariantList>("sent");    // SetCellStickerMode requests
    QTest::addColumn<QByteArray>("request");   // the request record afterwards
    QTest::addColumn<QString>("after");        // see settled()

    const QByteArray on = "[KIVO]\ncell_sticker_mode=1\nstoredArfcn=40\n";
    const QByteArray start62("\x01\x3e\x00\x00\x00", 5);
    const QByteArray stop62("\x00\x3e\x00\x00\x00", 5);
    const QString info = QStringLiteral("Cell Sticker Information");
    const QStringList asked{info, "Set sticker on ARFCN 62 ?"};
    const QVariantList ok{QVariant::fromValue<uchar>(0), 0};
    const QStringList wrong = asked + QStringList{info, "Wrong ARFCN entered"};
    const QStringList stopped{info, "Cell id: 62\nCell Sticker Stopped"};
    const QStringList barred{info, "Cell id: 62\nCell Sticker Stopped\nCell Barred"};

    QTest::newRow("sticker not set") << QByteArray("[KIVO]\ncell_sticker_mode=0\n") << "" << ok
                                     << QByteArray() << QStringList{info, "Sticker not set"}
                                     << QVariantList() << QByteArray(5, 0) << "0 -1 none 0 0";
    QTest::newRow("wrong ARFCN") << on << "62" << QVariantList{QVariant::fromValue<uchar>(3), 0}
                                 << QByteArray() << wrong << QVariantList() << start62
                                 << "0 40 40 1 1";
    QTest::newRow("refused") << on << "62" << QVariantList{QVariant::fromValue<uchar>(0), 4}
                             << QByteArray()
                             << (asked + QStringList{"KIVO: TAPI Error", "Invalid Parameter!"})
                             << QVariantList{start62} << stop62 << "0 40 40 0 1";

    QTest::newRow("6 mode entered") << on << "62" << ok << QByteArray("\x06\x00\x00\x00", 4)
                                    << (asked + QStringList{info, "Cell id: 62\nMode Entered"})
                                    << QVariantList{start62} << start62 << "2 62 62 1 1";
    QTest::newRow("2 barred, stop accepted")
        << on << "62" << ok << QByteArray("\x02\x00\x00\x00", 4) << asked + barred
        << QVariantList{start62, stop62} << stop62 << "0 40 40 0 0";
    // With the mode off, "Set" stops the sticker the screen loaded.
    QTest::newRow("stop, then 7")
        << QByteArray("[KIVO]\ncell_sticker_mode=0\nstoredArfcn=62\nCell%20Sticker%20State=2\n")
        << "" << ok << QByteArray("\x07\x00\x00\x00", 4) << stopped << QVariantList{stop62}
        << QByteArray("\x00\xff\xff\xff\xff", 5) << "0 62 62 0 0";
}

void tst_KIVO_CellScreens::sticker()
{
    QFETCH(QByteArray, ini);
    QFETCH(QString, typed);
    QFETCH(QVariantList, answers);
    QFETCH(QByteArray, event);
    QFETCH(QStringList, popups);

    m_peer.answerMethod("CheckArfcn", {answers.takeFirst()});
    m_peer.answerMethod("SetCellStickerMode", {answers.takeFirst()});
    const int before = m_peer.calls("SetCellStickerMode").size();
    PopupWatcher watcher;
    start(ini);
    if (!typed.isEmpty()) {
        enterArfcn(m_screen.get(), typed);
    }
    QTest::keyClick(m_screen.get(), Qt::Key_F1);
    if (!event.isEmpty()) {
        m_peer.emitEvent(kStickerEvent, event);
        QVERIFY(watcher.waitForCount(popups.size() / 2));
    }

    QCOMPARE(titlesAndTexts(watcher), popups);
    QTEST(m_peer.calls("SetCellStickerMode").mid(before), "sent");
    QTEST(QByteArray(reinterpret_cast<const char *>(&kivo_eng->stickerRequest), 5), "request");
    QCOMPARE(file().value("KIVO/Cell Sticker State", 0).toInt(), kivo_eng->cellStickerState);
    QTEST(settled(), "after");
}

// "state arfcn storedArfcn mode mode": the engine's sticker state and ARFCN, the ARFCN in the
// file, "cell_sticker_mode" in the engine and in the file.
QString tst_KIVO_CellScreens::settled() const
{
    return QStringLiteral("%1 %2 %3 %4 %5")
        .arg(kivo_eng->cellStickerState)
        .arg(kivo_eng->arfcn)
        .arg(file().value("KIVO/storedArfcn", "none").toString())
        .arg(kivo_eng->cell_sticker_mode)
        .arg(file().value("KIVO/cell_sticker_mode").toString());
}

void tst_KIVO_CellScreens::stickerMode_data()
{
    QTest::addColumn<QByteArray>("before"); // "cell_sticker_mode" in the file
    QTest::addColumn<int>("choice");        // -1 cancels
    QTest::addColumn<QList<bool>>("checked");
    QTest::addColumn<QByteArray>("after"); // in the file and the request record
    QTest::addColumn<bool>("entry");       // whether "Enter Arfcn" opens the popup

    QTest::newRow("on, cancelled")
        << QByteArray("1") << -1 << QList<bool>{true, false} << QByteArray("1") << true;
    QTest::newRow("on to off") << QByteArray("1") << 1 << QList<bool>{true, false}
                               << QByteArray("0") << false;
    QTest::newRow("off to on") << QByteArray("0") << 0 << QList<bool>{false, true}
                               << QByteArray("1") << true;
}

void tst_KIVO_CellScreens::stickerMode()
{
    QFETCH(QByteArray, before);
    QFETCH(int, choice);

    PopupWatcher watcher;
    watcher.answer(choice < 0 ? PopupWatcher::Answer::Cancel : PopupWatcher::Answer::Accept,
                   choice);
    start("[KIVO]\ncell_sticker_mode=" + before + '\n');
    const int sent = m_peer.calls("SetCellStickerMode").size();
    press(m_screen.get(), {Qt::Key_Up, Qt::Key_Return});
    QCOMPARE(watcher.seen().size(), 1);
    QCOMPARE(watcher.seen().first().title, QStringLiteral("Cell Sticker"));
    QTEST(watcher.seen().first().checked, "checked");
    QTEST(file().value("KIVO/cell_sticker_mode").toByteArray(), "after");
    QTEST(QByteArray::number(kivo_eng->stickerRequest.mode), "after");
    // The mode goes to the telephony layer with the next "Set" only.
    QCOMPARE(m_peer.calls("SetCellStickerMode").size(), sent);
    enterArfcn(m_screen.get(), QStringLiteral("9"));
    QTEST(kivo_eng->arfcn == 9, "entry");
}

QTEST_MAIN(tst_KIVO_CellScreens)
#include "tst_kivo_cellscreens.moc"
