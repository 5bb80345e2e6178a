#pragma once

#include "PlListItem.h"

// A menu row of a settings list.
class PlSettingItem : public PlListItem {
public:
    PlSettingItem(PlListBox *listBox, const QString &text);
    ~PlSettingItem() override;

private:
    Q_DISABLE_COPY(PlSettingItem)
};
