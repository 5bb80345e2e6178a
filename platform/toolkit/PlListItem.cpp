#include "PlListItem.h"

PlListItem::PlListItem(PlListBox *listBox, const QString &text) : PlListBoxItem(listBox, text)
{
    setData(EnabledRole, true);
}

PlListItem::~PlListItem() = default;

void PlListItem::setEnabled(bool enabled)
{
    setData(EnabledRole, enabled);
}

bool PlListItem::enabled() const
{
    return data(EnabledRole).toBool();
}
