#include "PlSettingItem.h"

PlSettingItem::PlSettingItem(PlListBox *listBox, const QString &text) : PlListItem(listBox, text)
{
}

PlSettingItem::~PlSettingItem() = default;
