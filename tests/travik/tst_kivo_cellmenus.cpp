// The menus that lead to the cell features: which screen each row opens, the title on the way
// back, and the opener deleting them.
#include "KIVO_ActiveFeatures.h"
#include "KIVO_MainScreen.h"
#include "KIVO_Notification.h"
#include "KivoTestRoot.h"
#include "ScreenHelpers.h"

#include <QPointer>

class tst_KIVO_CellMenus : public QObject {
    Q_OBJECT

private slots:
    void rowOpens_data();
    void rowOpens();

private:
    KivoTestRoot m_root;
};

void tst_KIVO_CellMenus::rowOpens_data()
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

void tst_KIVO_CellMenus::rowOpens()
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

QTEST_MAIN(tst_KIVO_CellMenus)
#include "tst_kivo_cellmenus.moc"
