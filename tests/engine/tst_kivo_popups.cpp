// The shared popups a user reads: the telephony error texts, the message popup and what
// accessibility exposes of it, the notice that closes itself. Widgets, offscreen.
#include "KIVO_Popups.h"
#include "PopupWatcher.h"

#include <QAccessible>
#include <QApplication>
#include <QTest>
#include <QTimer>

class tst_KIVO_Popups : public QObject {
    Q_OBJECT

private slots:
    void tapiErrorPopup_data();
    void tapiErrorPopup();
    void messagePopup();
    void noticeClosesItself();
};

void tst_KIVO_Popups::tapiErrorPopup_data()
{
    QTest::addColumn<int>("code");
    QTest::addColumn<QString>("text");

    QTest::newRow("3 time-out") << 3 << "Timeout!";
    QTest::newRow("4 invalid parameter") << 4 << "Invalid Parameter!";
    QTest::newRow("5 not sent") << 5 << "Sendmsg Error!";
    QTest::newRow("6 primitive") << 6 << "Send Primitive Error!";
    QTest::newRow("7 receive") << 7 << "Receivemsg Error!";
    QTest::newRow("10 memory") << 10 << "No enough memory!";
    QTest::newRow("unlisted 8") << 8 << "Request Failed!";
}

// The popup's title and the codes' way to it are seen through the engine in tst_kivo_peers
// (time-out) and tst_kivo_screens sticker (refused requests).
void tst_KIVO_Popups::tapiErrorPopup()
{
    QFETCH(int, code);
    QTEST(tapiErrorText(code), "text");
}

void tst_KIVO_Popups::messagePopup()
{
    // The popup as accessibility reads it: its window title and its text.
    QString accessibleTitle;
    QStringList accessibleTexts;
    QTimer::singleShot(50, this, [&] {
        QWidget *popup = QApplication::activeModalWidget();
        QVERIFY(popup);
        QAccessibleInterface *window = QAccessible::queryAccessibleInterface(popup);
        QVERIFY(window);
        accessibleTitle = window->text(QAccessible::Name);
        // The text is read through the popup's children, as a screen reader walks them.
        for (int i = 0; i < window->childCount(); ++i) {
            QAccessibleInterface *child = window->child(i);
            if (child && child->role() == QAccessible::StaticText) {
                accessibleTexts << child->text(QAccessible::Name);
            }
        }
        QTest::keyClick(popup, Qt::Key_Escape);
    });
    showMessagePopup("Cell Barring", "Cell Bar set to: Inverted");
    QCOMPARE(accessibleTitle, QStringLiteral("Cell Barring"));
    QVERIFY2(accessibleTexts.contains(QStringLiteral("Cell Bar set to: Inverted")),
             qPrintable(accessibleTexts.join('|')));
}

void tst_KIVO_Popups::noticeClosesItself()
{
    PopupWatcher watcher;
    watcher.answer(PopupWatcher::Answer::Leave);
    showTimedNotice(QStringLiteral("Favourites Changed"));
    QCOMPARE(watcher.seen().size(), 1);
    QCOMPARE(watcher.seen().at(0).text, QStringLiteral("Favourites Changed"));
}

QTEST_MAIN(tst_KIVO_Popups)
#include "tst_kivo_popups.moc"
