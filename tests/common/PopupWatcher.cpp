#include "PopupWatcher.h"

#include "PlListBox.h"
#include "PlPopup.h"

#include <QApplication>
#include <QEvent>
#include <QTest>

PopupWatcher::PopupWatcher()
{
    m_timer.setInterval(5);
    connect(&m_timer, &QTimer::timeout, this, [this] { poll(); });
    m_timer.start();
    qApp->installEventFilter(this);
}

bool PopupWatcher::eventFilter(QObject *watched, QEvent *event)
{
    if (event->type() == QEvent::Show) {
        if (auto *popup = qobject_cast<PlPopup *>(watched); popup && !m_shown.contains(popup)) {
            m_shown.append(popup);
        }
    }
    return false;
}

void PopupWatcher::answer(Answer answer, int row)
{
    m_planned.enqueue({answer, row});
}

const QList<PopupSeen> &PopupWatcher::seen() const
{
    return m_seen;
}

bool PopupWatcher::waitForCount(int count, int timeoutMs)
{
    return QTest::qWaitFor([this, count] { return m_seen.size() >= count; }, timeoutMs);
}

void PopupWatcher::poll()
{
    // In the order they were shown: on a slow machine (an emulator) a popup can open over
    // another before a tick has seen the one below, and topLevelWidgets() keeps no order.
    // Popups shown before the watcher existed come first.
    m_shown.removeIf([](const QPointer<PlPopup> &popup) { return popup.isNull(); });
    QList<PlPopup *> popups;
    for (QWidget *widget : QApplication::topLevelWidgets()) {
        auto *popup = qobject_cast<PlPopup *>(widget);
        if (popup && !m_shown.contains(popup)) {
            popups.append(popup);
        }
    }
    for (const QPointer<PlPopup> &popup : std::as_const(m_shown)) {
        popups.append(popup.data());
    }
    for (PlPopup *popup : std::as_const(popups)) {
        if (!popup->isVisible() || !popup->isModal() || m_handled.contains(popup)) {
            continue;
        }
        m_handled.append(popup);

        PopupSeen seen;
        seen.className = QString::fromLatin1(popup->metaObject()->className());
        seen.title = popup->title();
        seen.text = popup->instructText();
        PlListBox *list = popup->findChild<PlListBox *>();
        if (list) {
            for (int i = 0; i < list->count(); ++i) {
                seen.rows.append(list->QListWidget::item(i)->text());
                seen.checked.append(list->itemChecked(i));
            }
            seen.currentRow = list->currentItem();
        }
        m_seen.append(seen);

        const auto [answer, row] =
            m_planned.isEmpty() ? std::pair(Answer::Cancel, -1) : m_planned.dequeue();
        if (answer == Answer::Leave) {
            continue;
        }
        if (list && row >= 0) {
            list->setCurrentRow(row);
        }
        QTest::keyClick(popup, answer == Answer::Accept ? Qt::Key_Return : Qt::Key_Escape);
        // Only one popup is answered per tick; a nested one gets the next tick.
        return;
    }
}
