// The main menu and the common list-screen pattern, driven with the keys as a user drives them.
#include "KIVO_ListScreen.h"
#include "KIVO_MainScreen.h"
#include "KivoTestRoot.h"
#include "ScreenHelpers.h"

#include <QAccessible>
#include <QPointer>
#include <QTimer>

namespace {

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

} // namespace

class tst_KIVO_MainScreen : public QObject {
    Q_OBJECT

private slots:
    void mainMenu();
    void exitEndsTheLoop();
    void backPattern();
    void checkStateThroughAccessibility();

private:
    KivoTestRoot m_root;
};

// The rows, titles and soft keys, on the screen and through the accessibility interface.
void tst_KIVO_MainScreen::mainMenu()
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
    QStringList read[3]; // rows, labels, visible buttons
    walk(window, [&read](QAccessibleInterface *node) {
        const QString name = node->text(QAccessible::Name);
        if (node->role() == QAccessible::ListItem) {
            read[0] << name;
        } else if (node->role() == QAccessible::StaticText) {
            read[1] << name;
        } else if (node->role() == QAccessible::Button && !node->state().invisible) {
            read[2] << name;
        }
    });
    QCOMPARE(read[0], rows);
    QVERIFY2(read[1].contains(QStringLiteral("KIVO")), qPrintable(read[1].join('|')));
    QCOMPARE(read[2], QStringList{"Exit"});
}

void tst_KIVO_MainScreen::exitEndsTheLoop()
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

// Down the menus and back: the one application title, the opener's title put back, the keys
// reaching the screen below after a Back, and each choice building a fresh screen.
void tst_KIVO_MainScreen::backPattern()
{
    Menu top(nullptr, nullptr);
    top.show();
    QCOMPARE(titleOf(&top), QStringLiteral("Top"));
    QTRY_VERIFY(QApplication::focusWidget() != nullptr);
    pressKey(Qt::Key_Return);
    QVERIFY(top.child && top.child->isVisible());
    QCOMPARE(top.child->objectName(), QStringLiteral("Top"));
    QCOMPARE(titleOf(top.child.get()), QStringLiteral("Child Menu"));
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

    QPointer<Menu> old = top.child.get();
    QTest::keyClick(old.data(), Qt::Key_F2);
    QVERIFY(old && !old->isVisible()); // hidden, not deleted
    QCOMPARE(titleOf(&top), QStringLiteral("Top"));
    QCOMPARE(top.windowTitle(), QStringLiteral("Top"));
    QTRY_VERIFY(top.isAncestorOf(QApplication::focusWidget()));
    pressKey(Qt::Key_Return);
    QVERIFY(old.isNull());
    QVERIFY(top.child && top.child->isVisible());

    // Chosen again while shown, and a row with no screen.
    old = top.child.get();
    emit top.findChild<PlListBox *>()->selected(0);
    QVERIFY(old.isNull() && top.child);
    old = top.child.get();
    emit top.findChild<PlListBox *>()->selected(7);
    QCOMPARE(top.child.get(), old.data());
}

void tst_KIVO_MainScreen::checkStateThroughAccessibility()
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

QTEST_MAIN(tst_KIVO_MainScreen)
#include "tst_kivo_mainscreen.moc"
