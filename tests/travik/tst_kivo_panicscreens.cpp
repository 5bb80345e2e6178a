// The panic viewer screens, driven with the keys from the main menu down to a panic's detail,
// on panic sources written by hand from their block layouts.
#include "CrashFixtures.h"
#include "KIVO_DataDisplay.h"
#include "KIVO_InternalOptions.h"
#include "KIVO_MainScreen.h"
#include "KIVO_PanicsDisplay.h"
#include "KIVO_PanicsType.h"
#include "KivoTestRoot.h"
#include "PlMultiLineEdit.h"
#include "PopupWatcher.h"
#include "ScreenHelpers.h"
#include "StderrCapture.h"

#include <QAccessible>
#include <QtEndian>

#include <ctime>

namespace {

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
    std::function<void(QAccessibleInterface *)> walk = [&](QAccessibleInterface *node) {
        for (int i = 0; i < node->childCount(); ++i) {
            if (QAccessibleInterface *child = node->child(i)) {
                if (child->role() == QAccessible::ListItem) {
                    rows << child->text(QAccessible::Name);
                }
                walk(child);
            }
        }
    };
    walk(QAccessible::queryAccessibleInterface(screen));
    return rows;
}

PlMultiLineEdit *detailView()
{
    auto *detail = shown<KIVO_DataDisplay>();
    return detail ? detail->findChild<PlMultiLineEdit *>() : nullptr;
}

} // namespace

class tst_KIVO_PanicScreens : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void walkAndBack();
    void detail_data();
    void detail();
    void noPanics_data();
    void noPanics();
    void choosingAgainReadsAfresh();
    void apRowsOpenTheirNumbers();
    void crashRecordsJoin();

private:
    void writeDumps(const QStringList &names, qint64 firstTime, int step);
    KivoTestRoot m_root;
    PopupWatcher m_popups; // answers every popup, so a wrong one cannot hang a test
};

// Local time is Central European summer time, two hours ahead of the blocks' UTC times.
void tst_KIVO_PanicScreens::initTestCase()
{
    qputenv("TZ", "CET-1CEST,M3.5.0,M10.5.0/3");
    tzset();
}

void tst_KIVO_PanicScreens::init()
{
    for (const char *dir : {"/veklocal", "/dev", "/usr", "/var"}) {
        QDir(m_root.path(QLatin1String(dir))).removeRecursively();
    }
    m_popups.clear();
}

// AP dumps, oldest first, `step` seconds apart.
void tst_KIVO_PanicScreens::writeDumps(const QStringList &names, qint64 firstTime, int step)
{
    for (const QString &name : names) {
        const QString path = "/veklocal/apr_app_dump/" + name;
        m_root.writeFile(path, "ELF");
        QVERIFY(setModifiedTime(QFile::encodeName(m_root.path(path)), firstTime));
        firstTime += step;
    }
}

void tst_KIVO_PanicScreens::walkAndBack()
{
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

void tst_KIVO_PanicScreens::detail_data()
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

void tst_KIVO_PanicScreens::detail()
{
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

void tst_KIVO_PanicScreens::noPanics_data()
{
    QTest::addColumn<int>("type");
    // Every known source without a record goes the same way.
    QTest::newRow("bp, no files") << 0;
    QTest::newRow("unknown type") << 9;
}

void tst_KIVO_PanicScreens::noPanics()
{
    QFETCH(int, type);
    StderrCapture err;
    KIVO_PanicsDisplay list(nullptr, "Panics Type", PanicType(type));
    list.show();
    QCOMPARE(rowsOf(&list), QStringList());
    if (type <= PANIC_KERNEL) {
        QCOMPARE(m_popups.seen().size(), 1);
        QCOMPARE(m_popups.seen().at(0).title, QStringLiteral("Panic List:"));
        QCOMPARE(m_popups.seen().at(0).text, QStringLiteral("No Panics to display"));
        QVERIFY2(err.text().endsWith("Address in m_ptemp = (nil)"), err.text().constData());
    } else {
        QVERIFY(m_popups.seen().isEmpty());
        QCOMPARE(err.text(), QByteArray("Unknown Panic TypeAddress in m_ptemp = (nil)"));
    }
    press(&list, {Qt::Key_Return});
    QVERIFY(!detailView());
}

void tst_KIVO_PanicScreens::choosingAgainReadsAfresh()
{
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
void tst_KIVO_PanicScreens::apRowsOpenTheirNumbers()
{
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
void tst_KIVO_PanicScreens::crashRecordsJoin()
{
    m_root.writeFile("/veklocal/panic/bp_panic.log1", block(43, 0xa1, 8));
    QString skip;
    QVERIFY(makeCrashFixture(m_root.root(), QStringLiteral("devcd two"), &skip));

    KIVO_PanicsDisplay list(nullptr, "Panics Type", PANIC_BP);
    list.show();
    QCOMPARE(accessibleRows(&list), (QStringList{"1 a1 01.02", "2 4080000.remoteproc", "1 wlan0"}));
    press(&list, {Qt::Key_Down, Qt::Key_Return});
    QVERIFY(detailView());
    QVERIFY2(detailView()->toPlainText().endsWith(
                 "Length 40\nDump Data\n7f 45 4c 46 01 01 \n00 01 02 03 04 05 \n"
                 "06 07 08 09 0a 0b \n0c 0d 0e 0f 10 11 \n12 13 14 15 16 17 \n18 19 1a 1b 1c 1d \n"),
             qPrintable(detailView()->toPlainText()));
    QVERIFY(m_popups.seen().isEmpty());
}

QTEST_MAIN(tst_KIVO_PanicScreens)
#include "tst_kivo_panicscreens.moc"
