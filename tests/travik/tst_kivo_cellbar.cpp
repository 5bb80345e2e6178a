// "Cell Bar Access" against a telephony peer on the private bus: the row checked on opening,
// the request sent, the message or the error, "/tmp/kivo", and the way back.
#include "KIVO_CellBar.h"
#include "KivoTestRoot.h"
#include "PopupWatcher.h"
#include "ScreenHelpers.h"
#include "TelephonyPeer.h"

#include <QSettings>

class tst_KIVO_CellBar : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void choose_data();
    void choose();

private:
    KivoTestRoot m_root;
    TelephonyPeer m_peer;
};

void tst_KIVO_CellBar::initTestCase()
{
    m_peer.answer({1}); // Register
    QVERIFY(m_peer.claimName());
}

void tst_KIVO_CellBar::choose_data()
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

void tst_KIVO_CellBar::choose()
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

QTEST_MAIN(tst_KIVO_CellBar)
#include "tst_kivo_cellbar.moc"
