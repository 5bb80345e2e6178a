#pragma once

#include "PlPopup.h"

class PlListBox;

// A modal choice of one row: a radio list under the title. Select (or Return on a row, or a
// click on it) accepts and exec() returns 1; Cancel returns 0.
class PlSingleSelectDlg : public PlPopup {
    Q_OBJECT

public:
    PlSingleSelectDlg(const QString &title, const QString &text, QWidget *parent,
                      const char *name, bool modal, int flags, int arg);
    ~PlSingleSelectDlg() override;

    PlListBox *getListBox() const;

private:
    Q_DISABLE_COPY(PlSingleSelectDlg)
    PlListBox *m_list;
};
