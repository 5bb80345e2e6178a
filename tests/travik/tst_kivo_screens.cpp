// The screens, driven with the keys as a user drives them, against an FTS engine and a telephony
// service on the test's private bus: the start-up gate (feature flag 356, the program run as it
// is run), the main menu and the list-screen pattern; the FTS Options screens (the titles retry,
// the editors waiting for titles, the rows the favourites and visibles editors show and what Back
// sends byte for byte, the availability choice as the application manager and the settings file
// see it); the panic viewer from the main menu down to a panic's detail, on panic sources written
// by hand from their block layouts; the cell feature screens ("Cell Bar Access", "Cell Change
// Warning", the "Arfcn" popup) and the cell sticker end to end: the screen's keys and the engine's
// outcome events reaching the sticker machine, the requests byte for byte, the messages, and what
// the settings files hold afterwards. Every transition of the sticker machine is a row of
// tst_kivo_sticker; here one row for each way in and out.
#include "CrashFixtures.h"
#include "KIVO_ActiveFeatures.h"
#include "KIVO_CellBar.h"
#include "KIVO_CellChange.h"
#include "KIVO_CellSticker.h"
#include "KIVO_DataDisplay.h"
#include "KIVO_Engine.h"
#include "KIVO_FTSOptions_P2.h"
#include "KIVO_Favourites.h"
#include "KIVO_FtsBitmap.h"
#include "KIVO_InternalOptions.h"
#include "KIVO_ListScreen.h"
#include "KIVO_MainScreen.h"
#include "KIVO_Notification.h"
#include "KIVO_PanicsDisplay.h"
#include "KIVO_PanicsType.h"
#include "KIVO_Popups.h"
#include "KIVO_Settings.h"
#include "KIVO_TargetArfcn.h"
#include "KIVO_Visibles.h"
#include "KivoTestRoot.h"
#include "PlListBox.h"
#include "PlListBoxItem.h"
#include "PlMainWidget.h"
#include "PlMultiLineEdit.h"
#include "PlSoftKey.h"
#include "PopupWatcher.h"
#include "QCopChannel.h"
#include "StderrCapture.h"
#include "TelephonyPeer.h"

#include <QAccessible>
#include <QApplication>
#include <QByteArrayList>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QProcess>
#include <QSettings>
#include <QTest>
#include <QTimer>
#include <QtEndian>

#include <ctime>
#include <memory>

#include <sys/stat.h>

namespace {

// The shown top-level screen of class `Screen`, or null.
template <typename Screen = QWidget> Screen *shown(const char *className = nullptr)
{
    for (QWidget *widget : QApplication::topLevelWidgets()) {
        auto *screen = qobject_cast<Screen *>(widget);
        if (screen && screen->isVisible() && (!className || widget->inherits(className))) {
            return screen;
        }
    }
    return nullptr;
}

inline QString titleOf(QWidget *screen)
{
    return screen->findChild<QLabel *>(QStringLiteral("PlTitleArea"))->text();
}

inline QStringList rowsOf(QWidget *screen)
{
    QStringList rows;
    auto *list = screen->findChild<PlListBox *>();
    for (int i = 0; list && i < list->count(); ++i) {
        rows << list->item(i)->text();
    }
    return rows;
}

inline QList<int> checkedRows(QWidget *screen)
{
    QList<int> rows;
    auto *list = screen->findChild<PlListBox *>();
    for (int i = 0; i < list->count(); ++i) {
        if (list->itemChecked(i)) {
            rows << i;
        }
    }
    return rows;
}

// The two soft-key texts as "left|right".
inline QString softKeysOf(PlMainWidget *screen)
{
    return screen->softKey()->text(0) + '|' + screen->softKey()->text(1);
}

inline void press(QWidget *screen, std::initializer_list<Qt::Key> keys)
{
    for (Qt::Key key : keys) {
        QTest::keyClick(screen, key);
    }
}

// On the cell sticker screen: chooses "Enter Arfcn" (two Downs reach it with or without a
// current row), replaces the field with `text` and presses "Set".
inline void enterArfcn(QWidget *screen, const QString &text)
{
    press(screen, {Qt::Key_Down, Qt::Key_Down, Qt::Key_Return});
    if (QWidget *popup = shown("KIVO_TargetArfcn")) {
        popup->findChild<QLineEdit *>()->clear();
        QTest::keyClicks(popup->findChild<QLineEdit *>(), text);
        QTest::keyClick(popup, Qt::Key_F1);
    }
}

// The engine the screens reach through kivo_eng, for one test.
struct EngineScope {
    EngineScope()
    {
        kivo_eng = &engine;
        engine.setPresenter(kivoPopupPresenter());
    }
    ~EngineScope()
    {
        kivo_eng = nullptr;
    }
    KIVO_Engine engine;
};

constexpr quint16 kStickerEvent = 0x0F03;

QStringList titlesAndTexts(const PopupWatcher &watcher)
{
    QStringList seen;
    for (const PopupSeen &popup : watcher.seen()) {
        seen << popup.title << popup.text;
    }
    return seen;
}

// An FTS engine on the test's private bus: records every request on "fts_listen_channel" and,
// while `answering`, replies on "kivo_listen_channel" with blocks written by hand.
class FtsPeer {
public:
    FtsPeer()
    {
        QObject::connect(&m_channel, &QCopChannel::received, &m_channel,
                         [this](const QByteArray &message, const QByteArray &data) {
                             names << message;
                             blocks << data;
                             if (!answering) {
                                 return;
                             }
                             if (message == "getTitles(QString,QString)") {
                                 send("getTiltlesRsp(QString, QString)", titlesBlock(titles));
                             } else if (message == "getFavourites(QString,QString)") {
                                 send("getFavouritesRsp(QString, QString)", favourites);
                             } else if (message == "getVisibles(QString,QString)") {
                                 send("getVisiblesResponse(QString, Qstring)", visibles);
                             }
                         });
    }

    // The count byte, then each title as a 32-bit big-endian byte count and UTF-16 big-endian.
    static QByteArray titlesBlock(const QStringList &titles)
    {
        QByteArray block(1, char(titles.size()));
        for (const QString &title : titles) {
            const int size = title.size() * 2;
            const char count[] = {char(size >> 24), char(size >> 16), char(size >> 8), char(size)};
            block.append(count, 4);
            for (QChar c : title) {
                block.append(char(c.unicode() >> 8)).append(char(c.unicode() & 0xff));
            }
        }
        return block;
    }

    static void send(const char *message, const QByteArray &data)
    {
        QCopChannel::send("kivo_listen_channel", message, data);
    }

    // "name hexdata" of each request from `from` on, up to a marker sent now: one sender's
    // messages keep their order on the bus, so anything sent before has arrived by then.
    QByteArrayList requestsFrom(int from)
    {
        const int markers = names.count("marker");
        QCopChannel::send("fts_listen_channel", "marker", QByteArray());
        if (!QTest::qWaitFor([&] { return names.count("marker") > markers; }, 5000)) {
            return {"no marker"};
        }
        QByteArrayList seen;
        for (int i = from; i < names.size(); ++i) {
            if (names.at(i) != "marker") {
                seen << names.at(i) + ' ' + blocks.at(i).toHex();
            }
        }
        return seen;
    }

    bool answering = true;
    QStringList titles;
    QByteArray favourites = QByteArray(8, '\0');
    QByteArray visibles = QByteArray(8, '\0');
    QByteArrayList names;
    QByteArrayList blocks;

private:
    QCopChannel m_channel{"fts_listen_channel"};
};

// A menu as the later menus are built: row 0 opens a child menu, row 1 nothing.
class Menu : public KIVO_ListScreen {
public:
    Menu(QWidget *parent, const char *name)
        : KIVO_ListScreen(parent, name, "Menu", name ? "Child Menu" : "Top",
                          {QStringLiteral("Open"), QStringLiteral("Nothing")})
    {
    }
    std::unique_ptr<Menu> child;

protected:
    void switchView(int row) override
    {
        if (row == 0) {
            openChild(child);
        }
    }
};

// Sends a key where the keyboard focus is, as the hardware keys arrive.
void pressKey(Qt::Key key)
{
    QWidget *target = QApplication::focusWidget();
    QVERIFY2(target, "no widget has the keyboard focus");
    QTest::keyClick(target, key);
}

// Visits every node below `node`, as a screen reader walks the tree.
void walk(QAccessibleInterface *node, const std::function<void(QAccessibleInterface *)> &visit)
{
    for (int i = 0; i < node->childCount(); ++i) {
        if (QAccessibleInterface *child = node->child(i)) {
            visit(child);
            walk(child, visit);
        }
    }
}

// An editor over `titles` titles named "Screen 0", "Screen 1", ...
std::unique_ptr<PlKbMainWidget> makeEditor(bool visibles, int titles)
{
    QStringList names;
    for (int i = 0; i < titles; ++i) {
        names << QStringLiteral("Screen %1").arg(i);
    }
    kivo_eng->slotFTSEngineMessage("getTiltlesRsp(QString, QString)", FtsPeer::titlesBlock(names));
    if (visibles) {
        return std::make_unique<KIVO_Visibles>(nullptr, nullptr);
    }
    return std::make_unique<KIVO_Favourites>(nullptr, nullptr);
}

QByteArray bigEndian(quint32 value, int size)
{
    QByteArray bytes(4, '\0');
    qToBigEndian(value, bytes.data());
    return bytes.right(size);
}

// A BP (header 43) or QUIRN (header 71) block: magic B5 C7, block size, 8 bytes, panic id,
// time (13:05:09 UTC on 4 May 2024), version, zeros up to the data length in the header's last 4
// bytes, then the data bytes 00 01 02 ... filling the block.
QByteArray block(int header, quint32 id, quint32 length,
                 const QByteArray &version = QByteArray("\x01\x02\x03"))
{
    QByteArray bytes = "\xb5\xc7" + bigEndian(header + length, 2) + QByteArray(8, '\0') +
                       bigEndian(id, 4) + bigEndian(1714827909, 4) + version;
    bytes += QByteArray(header - 4 - bytes.size(), '\0') + bigEndian(length, 4);
    for (quint32 i = 0; i < length; ++i) {
        bytes += char(i);
    }
    return bytes;
}

// The list rows as a screen reader reads them off a screen.
QStringList accessibleRows(QWidget *screen)
{
    QStringList rows;
    walk(QAccessible::queryAccessibleInterface(screen), [&rows](QAccessibleInterface *node) {
        if (node->role() == QAccessible::ListItem) {
            rows << node->text(QAccessible::Name);
        }
    });
    return rows;
}

PlMultiLineEdit *detailView()
{
    auto *detail = shown<KIVO_DataDisplay>();
    return detail ? detail->findChild<PlMultiLineEdit *>() : nullptr;
}

} // namespace

class tst_KIVO_Screens : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();
    void gate_data();
    void gate();
    void mainMenu();
    void exitEndsTheLoop();
    void backPattern();
    void checkStateThroughAccessibility();
    void openFromMainMenu();
    void titlesRetry();
    void editorsWaitForTitles();
    void availability_data();
    void availability();
    void visiblesShiftAtTheEnds();
    void showOperation_data();
    void showOperation();
    void commit_data();
    void commit();
    void secondAnswerReplacesRows();
    void walkAndBack();
    void detail_data();
    void detail();
    void noPanics_data();
    void noPanics();
    void choosingAgainReadsAfresh();
    void apRowsOpenTheirNumbers();
    void crashRecordsJoin();
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

    // org.kivo.SystemState.ClientEvent as the application manager receives it.
    void clientEvent(int event)
    {
        m_events << event;
    }

private:
    void writeDumps(const QStringList &names, qint64 firstTime, int step);
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
    QList<int> m_events;
};

void tst_KIVO_Screens::initTestCase()
{
    // Local time is Central European summer time, two hours ahead of the panic blocks' UTC times.
    qputenv("TZ", "CET-1CEST,M3.5.0,M10.5.0/3");
    tzset();
    QVERIFY(QDBusConnection::sessionBus().connect(QString(), "/org/kivo/SystemState",
                                                  "org.kivo.SystemState", "ClientEvent", this,
                                                  SLOT(clientEvent(int))));
    m_peer.answer({1}); // Register
    QVERIFY(m_peer.claimName());
}

void tst_KIVO_Screens::init()
{
    for (const char *dir : {"/veklocal", "/dev", "/usr", "/var"}) {
        QDir(m_root.path(QLatin1String(dir))).removeRecursively();
    }
}

// The sticker rows start the engine as main does; the others have their own (EngineScope).
void tst_KIVO_Screens::cleanup()
{
    m_screen.reset();
    stopKivoEngine();
}

void tst_KIVO_Screens::gate_data()
{
    QTest::addColumn<QByteArray>("flexbits"); // null: no flag file
    QTest::addColumn<QByteArray>("traces");   // stderr, whole when refused, its start when run

    const QByteArray stop("Stops the activity of KIVO");
    QTest::newRow("refused: flag 2") << QByteArray("356=2\n") << "value of flex=2" + stop;
    QTest::newRow("refused: flag 256 is 0 in its low byte")
        << QByteArray("356=256\n") << "value of flex=0" + stop;
    QTest::newRow("refused: flag missing, other flags present")
        << QByteArray("# flags\n355=1\n357=1\n") << "value of flex=0" + stop;
    QTest::newRow("refused: flag only in a comment")
        << QByteArray("#356=1\n") << "value of flex=0" + stop;
    QTest::newRow("refused: no flag file") << QByteArray() << "value of flex=0" + stop;
    // A FIFO with no writer would block the read for good; it counts as no flag file.
    QTest::newRow("refused: flag file is a FIFO")
        << QByteArray("<fifo>") << "value of flex=0" + stop;
    // Running means past the gate: the engine traces its construction.
    const QByteArray runs("value of flex=1[KIVO] KIVO_Engine::KIVO_Engine\r\n");
    QTest::newRow("runs: 356=1") << QByteArray("356=1\n") << runs;
    QTest::newRow("runs: 257 is 1 in its low byte, among comments")
        << QByteArray("# device flags\n100=3\n356=257\n") << runs;
}

void tst_KIVO_Screens::gate()
{
    QFETCH(QByteArray, flexbits);
    QFETCH(QByteArray, traces);

    m_root.remove(QStringLiteral("/etc/kivo/flexbits"));
    if (flexbits == "<fifo>") {
        const QByteArray path = m_root.path(QStringLiteral("/etc/kivo/flexbits")).toLocal8Bit();
        QVERIFY(QDir().mkpath(QFileInfo(QString::fromLocal8Bit(path)).absolutePath()));
        QVERIFY(::mkfifo(path.constData(), 0600) == 0);
    } else if (!flexbits.isNull()) {
        m_root.writeFlexBits(flexbits);
    }
    QProcess kivo;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("KIVO_ROOT"), m_root.root());
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    kivo.setProcessEnvironment(env);
    kivo.start(QStringLiteral(KIVO_BINARY), {});
    QVERIFY(kivo.waitForStarted(10000));
    if (traces.contains("Stops the activity")) {
        QVERIFY(kivo.waitForFinished(10000));
        QCOMPARE(kivo.exitStatus(), QProcess::NormalExit);
        QCOMPARE(kivo.exitCode(), 1);
        QCOMPARE(kivo.readAllStandardError(), traces);
        QCOMPARE(kivo.readAllStandardOutput(), QByteArray());
        return;
    }
    QByteArray seen;
    QTRY_VERIFY_WITH_TIMEOUT((seen += kivo.readAllStandardError()).contains("KIVO_Engine") ||
                                 kivo.state() != QProcess::Running,
                             10000);
    QCOMPARE(kivo.state(), QProcess::Running);
    QVERIFY2(seen.startsWith(traces), seen.constData());
    QVERIFY(!seen.contains("Stops the activity"));
    kivo.kill();
    QVERIFY(kivo.waitForFinished(5000));
}

// The rows, titles and soft keys, on the screen and through the accessibility interface.
void tst_KIVO_Screens::mainMenu()
{
    KIVO_MainScreen screen(nullptr, nullptr);
    screen.show();
    const QStringList rows{"FTS Options", "Active Features", "Notification", "Internal Options"};
    QCOMPARE(rowsOf(&screen), rows);
    QCOMPARE(screen.findChild<PlListBox *>()->currentItem(), 0);
    QCOMPARE(titleOf(&screen), QStringLiteral("KIVO"));
    QCOMPARE(screen.windowTitle(), QStringLiteral("KIVO"));
    QCOMPARE(softKeysOf(&screen), QStringLiteral("|Exit"));
    QCOMPARE(screen.size(), QSize(240, 320));

    QAccessibleInterface *window = QAccessible::queryAccessibleInterface(&screen);
    QVERIFY(window);
    QCOMPARE(window->text(QAccessible::Name), QStringLiteral("KIVO"));
    // The rows as a screen reader reads them: crashRecordsJoin, checkStateThroughAccessibility.
    QStringList read[2]; // labels, visible buttons
    walk(window, [&read](QAccessibleInterface *node) {
        const QString name = node->text(QAccessible::Name);
        if (node->role() == QAccessible::StaticText) {
            read[0] << name;
        } else if (node->role() == QAccessible::Button && !node->state().invisible) {
            read[1] << name;
        }
    });
    QVERIFY2(read[0].contains(QStringLiteral("KIVO")), qPrintable(read[0].join('|')));
    QCOMPARE(read[1], QStringList{"Exit"});
}

void tst_KIVO_Screens::exitEndsTheLoop()
{
    KIVO_MainScreen screen(nullptr, nullptr);
    screen.show();
    bool keyReturned = false;
    QTimer::singleShot(0, &screen, [&] {
        QTest::keyClick(&screen, Qt::Key_F2);
        keyReturned = true;
    });
    // The application's own loop, as main runs it; still running after 5 s means Exit did
    // nothing.
    QTimer::singleShot(5000, &screen, [] { QCoreApplication::exit(42); });
    QCOMPARE(QCoreApplication::exec(), 0);
    QVERIFY(keyReturned);
}

// Down the menus and back by the keys, sent where the keyboard focus is: the focus follows the
// shown screen and comes back to the opener; the key Back and Exit hide a screen and put the
// opener's title back. (The title each screen sets, the opener deleting a hidden screen and a
// fresh screen on each choice: menuRowOpens, walkAndBack, openFromMainMenu, editorsWaitForTitles.)
void tst_KIVO_Screens::backPattern()
{
    Menu top(nullptr, nullptr);
    top.show();
    QTRY_VERIFY(QApplication::focusWidget() != nullptr);
    pressKey(Qt::Key_Return);
    QVERIFY(top.child && top.child->isVisible());
    QCOMPARE(top.child->objectName(), QStringLiteral("Top"));
    QCOMPARE(titleOf(&top), QStringLiteral("Child Menu"));
    QTRY_VERIFY(top.child->isAncestorOf(QApplication::focusWidget()));
    pressKey(Qt::Key_Down);
    QCOMPARE(top.child->findChild<PlListBox *>()->currentItem(), 1);

    emit top.child->findChild<PlListBox *>()->selected(0);
    Menu *grandchild = top.child->child.get();
    QVERIFY(grandchild && grandchild->isVisible());
    QCOMPARE(grandchild->objectName(), QStringLiteral("Child Menu"));
    QTest::keyClick(grandchild, Qt::Key_Back);
    QVERIFY(!grandchild->isVisible());
    QCOMPARE(titleOf(top.child.get()), QStringLiteral("Child Menu"));

    QTest::keyClick(top.child.get(), Qt::Key_F2);
    QVERIFY(!top.child->isVisible());
    QCOMPARE(titleOf(&top), QStringLiteral("Top"));
    QTRY_VERIFY(top.isAncestorOf(QApplication::focusWidget()));
}

void tst_KIVO_Screens::checkStateThroughAccessibility()
{
    PlListBox list("%C20%M220", nullptr, 0, 40);
    for (const char *text : {"Serving Cell", "Neighbours"}) {
        auto *row = new PlListBoxItem(&list, QString());
        row->appendSubItem(1, QString::fromLatin1(text), false);
        list.insertItem(row, -1, true);
    }
    list.checkItem(1, true);
    list.show();
    QAccessibleInterface *view = QAccessible::queryAccessibleInterface(&list);
    QVERIFY(view);
    QStringList rows;
    walk(view, [&rows](QAccessibleInterface *node) {
        if (node->role() == QAccessible::ListItem) {
            rows << node->text(QAccessible::Name) + (node->state().checkable ? " checkable" : "") +
                        (node->state().checked ? " checked" : "");
        }
    });
    QCOMPARE(rows, (QStringList{"Serving Cell checkable", "Neighbours checkable checked"}));
}

void tst_KIVO_Screens::openFromMainMenu()
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
void tst_KIVO_Screens::titlesRetry()
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

void tst_KIVO_Screens::editorsWaitForTitles()
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

void tst_KIVO_Screens::availability_data()
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

void tst_KIVO_Screens::availability()
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

void tst_KIVO_Screens::visiblesShiftAtTheEnds()
{
    // Shifts of 64 and of a negative count are undefined in C++: no title keeps no bit, 64
    // titles and more keep them all.
    QCOMPARE(titleBitsShifted(~Q_UINT64_C(0), 0), Q_UINT64_C(0));
    QCOMPARE(titleBitsShifted(Q_UINT64_C(0x8000000000000001), 70), Q_UINT64_C(0x8000000000000001));
}

void tst_KIVO_Screens::showOperation_data()
{
    QTest::addColumn<bool>("visibles");
    QTest::addColumn<quint64>("cached");
    QTest::addColumn<QByteArrayList>("requests");

    // Cached: the rows fill inside the constructor and nothing is sent.
    QTest::newRow("favourites cached") << false << Q_UINT64_C(0x5) << QByteArrayList{};
    QTest::newRow("favourites uncached")
        << false << Q_UINT64_C(0) << QByteArrayList{"getFavourites(QString,QString) "};
    QTest::newRow("visibles cached") << true << Q_UINT64_C(0x5) << QByteArrayList{};
    QTest::newRow("visibles uncached")
        << true << Q_UINT64_C(0) << QByteArrayList{"getVisibles(QString,QString) "};
}

void tst_KIVO_Screens::showOperation()
{
    QFETCH(bool, visibles);
    QFETCH(quint64, cached);

    EngineScope scope;
    FtsPeer peer;
    peer.answering = false;
    (visibles ? scope.engine.visBitMap : scope.engine.fabBitMap) = cached;
    auto editor = makeEditor(visibles, 3);
    QCOMPARE(rowsOf(editor.get()).size(), cached ? 3 : 0);
    QCOMPARE(checkedRows(editor.get()), (cached ? QList<int>{0, 2} : QList<int>{}));
    editor->show();
    QCOMPARE(editor->windowTitle(), visibles ? "Edit Visibles" : "Edit Favourites");
    QCOMPARE(softKeysOf(editor.get()), "Select|Back");
    QTEST(peer.requestsFrom(0), "requests");
    if (cached) {
        return;
    }
    // Select and Back on a list the FTS engine never filled: nothing to toggle or send.
    press(editor.get(), {Qt::Key_F1, Qt::Key_F2});
    QVERIFY(!editor->isVisible());
    QTEST(peer.requestsFrom(0), "requests");
}

void tst_KIVO_Screens::commit_data()
{
    QTest::addColumn<bool>("visibles");
    QTest::addColumn<int>("titles");
    QTest::addColumn<QByteArray>("reported"); // the FTS engine's answer, hi then lo
    QTest::addColumn<QList<int>>("checked");  // rows checked once filled
    QTest::addColumn<QList<int>>("toggles");
    QTest::addColumn<QByteArray>("sent");  // hex of the set request's block; empty: none
    QTest::addColumn<QByteArray>("trace"); // what Back traces, where pinned

    QTest::newRow("favourites: rows 0 and 2 toggled on")
        << false << 5 << QByteArray::fromHex("0000000000000002") << QList<int>{1}
        << QList<int>{0, 2} << QByteArray("0000000000000007")
        << QByteArray("slot Back \r\nsetBitMap favourite true, index = 0\r\n"
                      "setBitMap favourite true, index = 1\r\n"
                      "setBitMap favourite true, index = 2\r\n"
                      "[KIVO] fabBitMap to set 7 \r\n[KIVO] KIVO_Engine::setFavourites\r\n"
                      "[KIVO] setFavourites hiValue = 0, loValue = 7 \r\n");
    QTest::newRow("favourites: untouched")
        << false << 5 << QByteArray::fromHex("0000000000000012") << QList<int>{1, 4} << QList<int>{}
        << QByteArray()
        << QByteArray("slot Back \r\nsetBitMap favourite true, index = 1\r\n"
                      "setBitMap favourite true, index = 4\r\n[KIVO] fabBitMap is not changed");
    QTest::newRow("favourites: reported bits above the titles are dropped")
        << false << 3 << QByteArray::fromHex("0000000100000005") << QList<int>{0, 2} << QList<int>{}
        << QByteArray("0000000000000005") << QByteArray();
    QTest::newRow("favourites: all unchecked sends 0")
        << false << 2 << QByteArray::fromHex("0000000000000003") << QList<int>{0, 1}
        << QList<int>{0, 1} << QByteArray("0000000000000000") << QByteArray();
    QTest::newRow("visibles, 10 titles: bits above the titles decide nothing")
        << true << 10 << QByteArray::fromHex("0000000000001001") << QList<int>{0} << QList<int>{}
        << QByteArray() << QByteArray();
    QTest::newRow("visibles, 10 titles: row 9 decides")
        << true << 10 << QByteArray::fromHex("0000000000001001") << QList<int>{0} << QList<int>{9}
        << QByteArray("0000000000000201")
        << QByteArray("setBitMap visible true, index = 0\r\n"
                      "setBitMap visible true, index = 9\r\n"
                      "[UI] visValidBitMap == 8040000000000000 \r\n"
                      "[UI] oldVisValidBitMap == 40000000000000 \r\n"
                      "[KIVO] visBitMap set 201 \r\n[KIVO] KIVO_Engine::setVisibles \r\n"
                      "[KIVO] setvisibles hiValue =0, loValue = 201 \r\n");
    QTest::newRow("visibles, 64 titles: bit 63 decides")
        << true << 64 << QByteArray::fromHex("8000000000000001") << QList<int>{0, 63}
        << QList<int>{63} << QByteArray("0000000000000001") << QByteArray();
    QTest::newRow("visibles, 70 titles: rows from 64 on have no bit")
        << true << 70 << QByteArray::fromHex("0000000000000001") << QList<int>{0} << QList<int>{65}
        << QByteArray()
        << QByteArray("setBitMap visible true, index = 0\r\n"
                      "setBitMap visible true, index = 65\r\n"
                      "[UI] visValidBitMap == 1 \r\n"
                      "[UI] oldVisValidBitMap == 1 \r\n"
                      "[KIVO] visBitMap is not changed");
}

void tst_KIVO_Screens::commit()
{
    QFETCH(bool, visibles);
    QFETCH(int, titles);
    QFETCH(QByteArray, sent);
    QFETCH(QByteArray, trace);

    EngineScope scope;
    FtsPeer peer;
    QFETCH(QByteArray, reported);
    (visibles ? peer.visibles : peer.favourites) = reported;
    PopupWatcher popups;
    auto editor = makeEditor(visibles, titles);
    editor->show();
    QTRY_COMPARE(rowsOf(editor.get()).size(), titles);
    QCOMPARE(rowsOf(editor.get()).last(), QStringLiteral("Screen %1").arg(titles - 1));
    QTEST(checkedRows(editor.get()), "checked");
    QFETCH(QList<int>, toggles);
    for (int row : toggles) {
        editor->findChild<PlListBox *>()->setCurrentRow(row);
        QTest::keyClick(editor.get(), Qt::Key_F1);
    }

    const int before = peer.names.size();
    StderrCapture capture;
    QTest::keyClick(editor.get(), Qt::Key_F2);
    QVERIFY(!editor->isVisible());
    const QByteArray name =
        visibles ? "setVisibles(QStrihg,QString) " : "setFavourites(QString,QString) ";
    QCOMPARE(peer.requestsFrom(before),
             sent.isEmpty() ? QByteArrayList{} : QByteArrayList{name + sent});
    const QString notice = visibles ? "Visibles Changed" : "Favourites Changed";
    QCOMPARE(popups.seen().size(), sent.isEmpty() ? 0 : 1);
    QCOMPARE(popups.seen().value(0).text, sent.isEmpty() ? QString() : notice);
    if (!trace.isEmpty()) {
        QCOMPARE(capture.text(), trace);
    }
}

void tst_KIVO_Screens::secondAnswerReplacesRows()
{
    EngineScope scope;
    FtsPeer peer;
    peer.favourites = QByteArray::fromHex("0000000000000001");
    auto editor = makeEditor(false, 3);
    editor->show();
    QTRY_COMPARE(rowsOf(editor.get()).size(), 3);
    editor->findChild<PlListBox *>()->setCurrentRow(2);

    FtsPeer::send("getFavouritesRsp(QString, QString)", QByteArray::fromHex("0000000000000006"));
    QTRY_COMPARE(checkedRows(editor.get()), (QList<int>{1, 2}));
    QCOMPARE(rowsOf(editor.get()).size(), 3);
    QCOMPARE(editor->findChild<PlListBox *>()->currentItem(), 2);
}

// AP dumps, oldest first, `step` seconds apart.
void tst_KIVO_Screens::writeDumps(const QStringList &names, qint64 firstTime, int step)
{
    for (const QString &name : names) {
        const QString path = "/veklocal/apr_app_dump/" + name;
        m_root.writeFile(path, "ELF");
        QVERIFY(setModifiedTime(QFile::encodeName(m_root.path(path)), firstTime));
        firstTime += step;
    }
}

void tst_KIVO_Screens::walkAndBack()
{
    PopupWatcher popups; // answers every popup, so a wrong one cannot hang a test
    m_root.writeFile("/veklocal/panic/bp_panic.log1",
                     block(43, 0xa1, 8, QByteArray("\x00\x09\x01", 3)) +
                         block(43, 0xa2, 8, QByteArray("\x10\xff\x00", 3)) + block(43, 0xa3, 8));
    KIVO_MainScreen mainScreen(nullptr, nullptr);
    mainScreen.show();
    press(&mainScreen, {Qt::Key_Down, Qt::Key_Down, Qt::Key_Down, Qt::Key_Return});
    auto *options = shown<KIVO_InternalOptions>();
    QVERIFY(options);
    QCOMPARE(rowsOf(options), QStringList{"Panic Viewer"});
    press(options, {Qt::Key_Return});
    auto *types = shown<KIVO_PanicsType>();
    QVERIFY(types);
    QCOMPARE(rowsOf(types),
             (QStringList{"BP Panics", "AP Panics", "QUIRN Panics", "Kernel Panic"}));
    press(types, {Qt::Key_Return});
    auto *list = shown<KIVO_PanicsDisplay>();
    QVERIFY(list);
    QCOMPARE(rowsOf(list), (QStringList{"3 a3 01.02", "2 a2 10.ff", "1 a1 00.09"}));
    press(list, {Qt::Key_Down, Qt::Key_Return});
    QVERIFY(detailView());
    QCOMPARE(detailView()->toPlainText(),
             QStringLiteral("Panic Num: 2\nPanic Ver: 10:ff\nPanic Id: a2\nTimestamp 15:5:9\n"
                            "4-5-2024\nLength 8\nPanic Data\n00 01 02 03 04 05 \n06 07 "));
    QCOMPARE(titleOf(detailView()->window()), QStringLiteral("Panic Data"));
    press(detailView()->window(), {Qt::Key_Escape});
    // From the node of number 2 the search walks back to number 3.
    press(list, {Qt::Key_Up, Qt::Key_Return});
    QVERIFY(detailView() && detailView()->toPlainText().startsWith("Panic Num: 3\n"));

    QWidget *screens[] = {detailView()->window(), list, types, options};
    const QString titles[] = {"Panics", "Panics Type", "Panic Viewer", "KIVO"};
    for (int i = 0; i < 4; ++i) {
        press(screens[i], {Qt::Key_Escape});
        QVERIFY(!screens[i]->isVisible());
        QCOMPARE(titleOf(&mainScreen), titles[i]);
        QCOMPARE(mainScreen.windowTitle(), titles[i]);
    }
}

void tst_KIVO_Screens::detail_data()
{
    QTest::addColumn<int>("type");
    QTest::addColumn<int>("row");
    QTest::addColumn<QStringList>("rows");
    QTest::addColumn<QString>("detail"); // empty: no detail opens
    QTest::addColumn<bool>("underline");

    const QStringList apRows{" 3  82100 ", " 1  1a "};
    QTest::newRow("bp length 100: 36 bytes shown")
        << 0 << 0 << QStringList{"1 a1 01.02"}
        << "Panic Num: 1\nPanic Ver: 01:02\nPanic Id: a1\nTimestamp 15:5:9\n4-5-2024\nLength 100\n"
           "Panic Data\n00 01 02 03 04 05 \n06 07 08 09 0a 0b \n0c 0d 0e 0f 10 11 \n"
           "12 13 14 15 16 17 \n18 19 1a 1b 1c 1d \n1e 1f 20 21 22 23 \n"
        << true;
    // The skipped core.dump leaves a gap: the row showing 1 opens number 1.
    QTest::newRow("ap gap: the row opens its own number")
        << 1 << 1 << apRows
        << "Panic Num: 1\nCore Module Name:\n messaging\nPanic Id: 1a\nTimestamp 15:0:9 \n"
           " 4-5-2024\nLength 9"
        << false;
    // The report's wall time is local time.
    QTest::newRow("kernel") << 3 << 0 << QStringList{" 82000 "} << "Timestamp 13:5:9 \n 4-5-2024"
                            << false;
}

void tst_KIVO_Screens::detail()
{
    PopupWatcher popups;
    QFETCH(int, type);
    QFETCH(int, row);
    QFETCH(QString, detail);
    m_root.writeFile("/veklocal/panic/bp_panic.log1", block(43, 0xa1, 100));
    m_root.writeFile("/usr/data_resource/apr/coredump_table.cfg", "1a=messaging\n");
    writeDumps({"core.messaging.17", "core.dump", "core.browser.3"}, 1714827609, 100);
    m_root.writeFile("/dev/mtdblock/kpanic", "Panic\nCurrent Time = 2024-05-04 13:05:09\n");

    KIVO_PanicsDisplay list(nullptr, "Panics Type", PanicType(type));
    list.show();
    QTEST(rowsOf(&list), "rows");
    for (int i = 0; i < row; ++i) {
        press(&list, {Qt::Key_Down});
    }
    press(&list, {Qt::Key_Return});
    QCOMPARE(detailView() != nullptr, !detail.isEmpty());
    if (detailView()) {
        QCOMPARE(detailView()->toPlainText(), detail);
        QTEST(detailView()->font().underline(), "underline");
        QVERIFY(detailView()->isReadOnly());
    }
}

void tst_KIVO_Screens::noPanics_data()
{
    QTest::addColumn<int>("type");
    // Every known source without a record goes the same way.
    QTest::newRow("bp, no files") << 0;
    QTest::newRow("unknown type") << 9;
}

void tst_KIVO_Screens::noPanics()
{
    PopupWatcher popups;
    QFETCH(int, type);
    StderrCapture err;
    KIVO_PanicsDisplay list(nullptr, "Panics Type", PanicType(type));
    list.show();
    QCOMPARE(rowsOf(&list), QStringList());
    if (type <= PANIC_KERNEL) {
        QCOMPARE(popups.seen().size(), 1);
        QCOMPARE(popups.seen().at(0).title, QStringLiteral("Panic List:"));
        QCOMPARE(popups.seen().at(0).text, QStringLiteral("No Panics to display"));
        QVERIFY2(err.text().endsWith("Address in m_ptemp = (nil)"), err.text().constData());
    } else {
        QVERIFY(popups.seen().isEmpty());
        QCOMPARE(err.text(), QByteArray("Unknown Panic TypeAddress in m_ptemp = (nil)"));
    }
    press(&list, {Qt::Key_Return});
    QVERIFY(!detailView());
}

void tst_KIVO_Screens::choosingAgainReadsAfresh()
{
    PopupWatcher popups;
    m_root.writeFile("/veklocal/panic/bp_panic.log1", block(43, 0xa1, 8));
    KIVO_PanicsType types(nullptr, QByteArray(150, 'x').constData());
    types.show();
    press(&types, {Qt::Key_Return});
    QCOMPARE(rowsOf(shown<KIVO_PanicsDisplay>()), QStringList{"1 a1 01.02"});
    press(shown<KIVO_PanicsDisplay>(), {Qt::Key_Escape});
    m_root.writeFile("/veklocal/panic/bp_panic.log2", block(43, 0xb2, 8));
    press(&types, {Qt::Key_Return});
    QCOMPARE(rowsOf(shown<KIVO_PanicsDisplay>()), (QStringList{"2 b2 01.02", "1 a1 01.02"}));
    // The opener's title is kept in at most 99 characters.
    press(&types, {Qt::Key_Escape});
    QCOMPARE(types.windowTitle(), QString(99, 'x'));
}

// Dumps, oldest first, with a bare core.<pid> (skipped) in the middle: every row opens the
// record whose number it shows, in any order of selection.
void tst_KIVO_Screens::apRowsOpenTheirNumbers()
{
    PopupWatcher popups;
    writeDumps({"core.a.1", "core.b.1", "core.1234", "core.c.1", "core.d.1"}, 1714827909, 10);
    KIVO_PanicsDisplay list(nullptr, "Panics Type", PANIC_AP);
    list.show();
    const QStringList rows = rowsOf(&list);
    QCOMPARE(rows, (QStringList{" 5  82100 ", " 4  82100 ", " 2  82100 ", " 1  82100 "}));
    for (int row : {3, 0, 2, 1, 3}) {
        press(&list, {Qt::Key_Up, Qt::Key_Up, Qt::Key_Up}); // to row 0, which stops the Up key
        for (int i = 0; i < row; ++i) {
            press(&list, {Qt::Key_Down});
        }
        press(&list, {Qt::Key_Return});
        QVERIFY2(detailView(), qPrintable(rows.at(row)));
        QCOMPARE(detailView()->toPlainText().section('\n', 0, 0),
                 "Panic Num: " + rows.at(row).section(' ', 0, 0, QString::SectionSkipEmpty));
        press(detailView()->window(), {Qt::Key_Escape});
    }
}

// The crash records of a mainline Linux come after the seed's own rows, which stay as they are;
// their rows open their own details. Every source joins its list the same way (the kernel and AP
// lists are read off the kivo program in tst_kivo_panic_onscreen); the firmware dumps stand for
// all here.
void tst_KIVO_Screens::crashRecordsJoin()
{
    PopupWatcher popups;
    m_root.writeFile("/veklocal/panic/bp_panic.log1", block(43, 0xa1, 8));
    QString skip;
    QVERIFY(makeCrashFixture(m_root.root(), QStringLiteral("devcd two"), &skip));

    KIVO_PanicsDisplay list(nullptr, "Panics Type", PANIC_BP);
    list.show();
    QCOMPARE(accessibleRows(&list), (QStringList{"1 a1 01.02", "2 4080000.remoteproc", "1 wlan0"}));
    press(&list, {Qt::Key_Down, Qt::Key_Return});
    QVERIFY(detailView());
    QVERIFY2(
        detailView()->toPlainText().endsWith(
            "Length 40\nDump Data\n7f 45 4c 46 01 01 \n00 01 02 03 04 05 \n"
            "06 07 08 09 0a 0b \n0c 0d 0e 0f 10 11 \n12 13 14 15 16 17 \n18 19 1a 1b 1c 1d \n"),
        qPrintable(detailView()->toPlainText()));
    QVERIFY(popups.seen().isEmpty());
}

void tst_KIVO_Screens::menuRowOpens_data()
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

void tst_KIVO_Screens::menuRowOpens()
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

void tst_KIVO_Screens::cellBar_data()
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

void tst_KIVO_Screens::cellBar()
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

void tst_KIVO_Screens::cellChange_data()
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

void tst_KIVO_Screens::cellChange()
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

void tst_KIVO_Screens::arfcnEntry_data()
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

void tst_KIVO_Screens::arfcnEntry()
{
    QFETCH(int, storedArfcn);
    QFETCH(QStringList, typed);
    QFETCH(Qt::Key, key);
    QFETCH(int, state);

    m_root.writeFile(KivoTestRoot::defaultIniPath(),
                     "[KIVO]\nstoredArfcn=62\nCell%20Sticker%20State=2\n");
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

void tst_KIVO_Screens::start(const QByteArray &ini)
{
    m_root.writeFile(KivoTestRoot::defaultIniPath(), ini);
    const int registered = m_peer.calls(QStringLiteral("Register")).size();
    startKivoEngine(kivoPopupPresenter());
    // Registration goes on in the background; events are taken once it is answered.
    QTRY_VERIFY(m_peer.calls(QStringLiteral("Register")).size() > registered);
    m_screen = std::make_unique<KIVO_CellSticker>(nullptr, "Active Features");
    m_screen->show();
}

void tst_KIVO_Screens::sticker_data()
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

void tst_KIVO_Screens::sticker()
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
QString tst_KIVO_Screens::settled() const
{
    return QStringLiteral("%1 %2 %3 %4 %5")
        .arg(kivo_eng->cellStickerState)
        .arg(kivo_eng->arfcn)
        .arg(file().value("KIVO/storedArfcn", "none").toString())
        .arg(kivo_eng->cell_sticker_mode)
        .arg(file().value("KIVO/cell_sticker_mode").toString());
}

void tst_KIVO_Screens::stickerMode_data()
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

void tst_KIVO_Screens::stickerMode()
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

QTEST_MAIN(tst_KIVO_Screens)
#include "tst_kivo_screens.moc"
