#pragma once

// What the screen tests read off a screen as a user sees it, and the keys they press.
#include "KIVO_Engine.h"
#include "KIVO_Popups.h"
#include "PlListBox.h"
#include "PlListBoxItem.h"
#include "PlMainWidget.h"
#include "PlSoftKey.h"

#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QTest>

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
