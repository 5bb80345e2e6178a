#pragma once

#include "PlListBoxItem.h"

// A list row that can be disabled: a disabled row is drawn grey and still takes the focus.
class PlListItem : public PlListBoxItem {
public:
    PlListItem(PlListBox *listBox, const QString &text);
    ~PlListItem() override;

    void setEnabled(bool enabled);
    bool enabled() const;

    // Item data role that holds the row's enabled state for the painter.
    static constexpr int EnabledRole = Qt::UserRole + 1;

private:
    Q_DISABLE_COPY(PlListItem)
};
