// The main menu and the common list-screen pattern, driven with the keys as a user drives them.
#include "KIVO_ListScreen.h"
#include "KIVO_MainScreen.h"
#include "KivoTestRoot.h"
#include "PlListBox.h"
#include "PlListBoxItem.h"
#include "PlSoftKey.h"

#include <QAccessible>
#include <QApplication>
#include <QEventLoop>
#include <QLabel>
#include <QTimer>
#include <QPointer>
#include <QTest>

namespace {

// A menu below the main screen, as the later menus are built: one row opens a child.
class ChildMenu : public KIVO_ListScreen {
public:
    ChildMenu(QWidget *parent, const char *name)
        : KIVO_ListScreen(parent, name, "ChildMenu", "Child Menu",
                          {QStringLiteral("Open Grandchild"), QStringLiteral("Nothing")})
    {
    }
    std::unique_ptr<ChildMenu> grandchild;

protected:
    void switchView(int row) override
    {
        if (row == 0) {
            openChild(grandchild);
        }
    }
};

class TopMenu : public KIVO_ListScreen {
public:
    TopMenu() : KIVO_ListScreen(nullptr, nullptr, "TopMenu", "Top", {QStringLiteral("Open")})
    {
    }
    std::unique_ptr<ChildMenu> child;

protected:
    void switchView(int row) override
    {
        if (row == 0) {
            openChild(child);
        }
    }
};

QStringList rowsOf(PlListBox *list)
{
    QStringList rows;
    for (int i = 0; i < list->count(); ++i) {
        rows << list->item(i)->text();
    }
    return rows;
}

QString titleAreaOf(QWidget *screen)
{
    auto *label = screen->findChild<QLabel *>(QStringLiteral("PlTitleArea"));
    return label ? label->text() : QString();
}

// Sends a key where the keyboard focus is, as the hardware keys arrive.
void pressKey(Qt::Key key)
{
    QWidget *target = QApplication::focusWidget();
    if (!target) {
        target = QApplication::activeWindow();
    }
    QVERIFY2(target, "no widget has the keyboard focus");
    QTest::keyClick(target, key);
}

} // namespace

class tst_KIVO_MainScreen : public QObject {
    Q_OBJECT

private slots:
    void rowsTitleAndKeys();
    void exitEndsTheLoop();
    void backPutsOpenersTitleBack();
    void reopeningBuildsAFreshScreen();
    void keysAfterBackReachScreenBelow();
    void accessibility();
    void checkStateThroughAccessibility();

private:
    KivoTestRoot m_root;
};

void tst_KIVO_MainScreen::rowsTitleAndKeys()
{
    KIVO_MainScreen screen(nullptr, nullptr);
    screen.show();
    auto *list = screen.findChild<PlListBox *>();
    QVERIFY(list);
    QCOMPARE(rowsOf(list), (QStringList{"FTS Options", "Active Features", "Notification",
                                        "Internal Options"}));
    QCOMPARE(list->currentItem(), 0);
    QCOMPARE(titleAreaOf(&screen), QStringLiteral("KIVO"));
    QCOMPARE(screen.windowTitle(), QStringLiteral("KIVO"));
    QCOMPARE(screen.softKey()->text(0), QString());
    QCOMPARE(screen.softKey()->text(1), QStringLiteral("Exit"));
    QCOMPARE(screen.width(), 240);
    QCOMPARE(screen.height(), 320);
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

void tst_KIVO_MainScreen::backPutsOpenersTitleBack()
{
    TopMenu top;
    top.show();
    QCOMPARE(titleAreaOf(&top), QStringLiteral("Top"));
    QTest::keyClick(&top, Qt::Key_Return);
    QVERIFY(top.child);
    QVERIFY(top.child->isVisible());
    QCOMPARE(top.child->objectName(), QStringLiteral("Top"));
    // Every screen shows the one application title.
    QCOMPARE(titleAreaOf(top.child.get()), QStringLiteral("Child Menu"));
    QCOMPARE(titleAreaOf(&top), QStringLiteral("Child Menu"));

    QTest::keyClick(top.child.get(), Qt::Key_Return);
    QVERIFY(top.child->grandchild);
    QCOMPARE(titleAreaOf(&top), QStringLiteral("Child Menu"));
    QCOMPARE(top.child->grandchild->objectName(), QStringLiteral("Child Menu"));

    QTest::keyClick(top.child->grandchild.get(), Qt::Key_Escape);
    QVERIFY(!top.child->grandchild->isVisible());
    QCOMPARE(titleAreaOf(top.child.get()), QStringLiteral("Child Menu"));

    QTest::keyClick(top.child.get(), Qt::Key_F2);
    QVERIFY(top.child); // hidden, not deleted
    QVERIFY(!top.child->isVisible());
    QCOMPARE(titleAreaOf(&top), QStringLiteral("Top"));
    QCOMPARE(top.windowTitle(), QStringLiteral("Top"));
}

void tst_KIVO_MainScreen::reopeningBuildsAFreshScreen()
{
    TopMenu top;
    top.show();
    QTest::keyClick(&top, Qt::Key_Return);
    QPointer<ChildMenu> first = top.child.get();
    QTest::keyClick(first.data(), Qt::Key_Back);
    QTest::keyClick(&top, Qt::Key_Return);
    QVERIFY(first.isNull());
    QVERIFY(top.child && top.child->isVisible());
    // Again while the first is still shown.
    QPointer<ChildMenu> second = top.child.get();
    emit top.findChild<PlListBox *>()->selected(0);
    QVERIFY(second.isNull());
    QVERIFY(top.child);
    // A row with no screen does nothing.
    emit top.findChild<PlListBox *>()->selected(7);
    QVERIFY(top.child);
}

void tst_KIVO_MainScreen::keysAfterBackReachScreenBelow()
{
    TopMenu top;
    top.show();
    QTRY_VERIFY(QApplication::focusWidget() != nullptr);
    pressKey(Qt::Key_Return);
    QVERIFY(top.child && top.child->isVisible());
    QTRY_VERIFY(top.child->isAncestorOf(QApplication::focusWidget()));
    pressKey(Qt::Key_Down);
    QCOMPARE(top.child->findChild<PlListBox *>()->currentItem(), 1);
    pressKey(Qt::Key_Escape);
    QVERIFY(!top.child->isVisible());
    QTRY_VERIFY(top.isAncestorOf(QApplication::focusWidget()));
    // The next Return opens the child again from the screen below.
    QPointer<ChildMenu> old = top.child.get();
    pressKey(Qt::Key_Return);
    QVERIFY(old.isNull());
    QVERIFY(top.child && top.child->isVisible());
}

void tst_KIVO_MainScreen::accessibility()
{
    KIVO_MainScreen screen(nullptr, nullptr);
    screen.show();
    QAccessibleInterface *window = QAccessible::queryAccessibleInterface(&screen);
    QVERIFY(window);
    QCOMPARE(window->text(QAccessible::Name), QStringLiteral("KIVO"));

    QStringList rows;
    QStringList labels;
    QStringList buttons;
    // Walk the tree as a screen reader does.
    std::function<void(QAccessibleInterface *)> walk = [&](QAccessibleInterface *node) {
        for (int i = 0; i < node->childCount(); ++i) {
            QAccessibleInterface *child = node->child(i);
            if (!child) {
                continue;
            }
            switch (child->role()) {
            case QAccessible::ListItem:
                rows << child->text(QAccessible::Name);
                break;
            case QAccessible::StaticText:
                labels << child->text(QAccessible::Name);
                break;
            case QAccessible::Button:
                if (!child->state().invisible) {
                    buttons << child->text(QAccessible::Name);
                }
                break;
            default:
                break;
            }
            walk(child);
        }
    };
    walk(window);
    QCOMPARE(rows, (QStringList{"FTS Options", "Active Features", "Notification",
                                "Internal Options"}));
    QVERIFY2(labels.contains(QStringLiteral("KIVO")), qPrintable(labels.join('|')));
    QCOMPARE(buttons, QStringList{"Exit"});
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
    QMap<QString, bool> checked;
    std::function<void(QAccessibleInterface *)> walk = [&](QAccessibleInterface *node) {
        for (int i = 0; i < node->childCount(); ++i) {
            QAccessibleInterface *child = node->child(i);
            if (child && child->role() == QAccessible::ListItem) {
                QVERIFY(child->state().checkable);
                checked.insert(child->text(QAccessible::Name), child->state().checked);
            } else if (child) {
                walk(child);
            }
        }
    };
    walk(view);
    QCOMPARE(checked.value(QStringLiteral("Serving Cell"), true), false);
    QCOMPARE(checked.value(QStringLiteral("Neighbours"), false), true);
    QCOMPARE(checked.size(), 2);
}

QTEST_MAIN(tst_KIVO_MainScreen)
#include "tst_kivo_mainscreen.moc"
