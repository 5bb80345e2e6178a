#include "PlListBoxItem.h"

#include "PlListBox.h"

PlListBoxItem::PlListBoxItem(PlListBox *listBox, const QString &text)
    : QListWidgetItem(nullptr, QListWidgetItem::UserType)
{
    // The list adopts the row only on insertItem().
    Q_UNUSED(listBox);
    if (!text.isEmpty()) {
        m_subItems.insert(-1, text);
    }
    updateText();
}

PlListBoxItem::~PlListBoxItem() = default;

void PlListBoxItem::appendSubItem(int index, const QString &text, bool highlighted,
                                  const QPixmap &pixmap)
{
    Q_UNUSED(highlighted);
    m_subItems.insert(index, text);
    if (!pixmap.isNull()) {
        setIcon(QIcon(pixmap));
    }
    updateText();
}

QString PlListBoxItem::getSubItemText(int index) const
{
    return m_subItems.value(index);
}

void PlListBoxItem::updateText()
{
    QStringList parts;
    for (const QString &part : m_subItems) {
        if (!part.isEmpty()) {
            parts.append(part);
        }
    }
    setText(parts.join(QLatin1Char(' ')));
}
