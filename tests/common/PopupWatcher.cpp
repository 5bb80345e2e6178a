#include "PopupWatcher.h"

#include "PlListBox.h"
#include "PlPopup.h"

#include <QApplication>
#include <QTest>

PopupWatcher::PopupWatcher()
{
    m_timer.setInterval(5);
    connect(&m_timer, &QTimer::timeout, this, [this] { poll(); });
    m_timer.start();
}

PopupWatcher::~PopupWatcher() = default;

void PopupWatcher::answer(Answer answer, int row)
{
    m_planned.enqueue({answer, row});
}

const QList<PopupSeen> &PopupWatcher::seen() const
{
    return m_seen;
}

void PopupWatcher::clear()
{
    m_seen.clear();
}

bool PopupWatcher::waitForCount(int count, int timeoutMs)
{
    return QTest::qWaitFor([this, count] { return m_seen.size() >= count; }, timeoutMs);
}

void PopupWatcher::poll()
{
    const auto widgets = QApplication::topLevelWidgets();
    for (QWidget *widget : widgets) {
        auto *popup = qobject_cast<PlPopup *>(widget);
        if (!popup || !popup->isVisible() || !popup->isModal()) {
            continue;
        }
        bool known = false;
        for (const QPointer<PlPopup> &handled : std::as_const(m_handled)) {
            if (handled == popup) {
                known = true;
            }
        }
        if (known) {
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

        const Planned planned =
            m_planned.isEmpty() ? Planned{Answer::Cancel, -1} : m_planned.dequeue();
        if (planned.answer == Answer::Leave) {
            continue;
        }
        if (list && planned.row >= 0) {
            list->setCurrentRow(planned.row);
        }
        QTest::keyClick(popup, planned.answer == Answer::Accept ? Qt::Key_Return
                                                                  : Qt::Key_Escape);
        // Only one popup is answered per tick; a nested one gets the next tick.
        return;
    }
}
