#pragma once

#include "PlPopup.h"

// A modal message: a text under a title; any key, or OK, closes it.
class PlMessageDlg : public PlPopup {
    Q_OBJECT

public:
    PlMessageDlg(const QString &title, const QString &text, int messageType, int arg,
                 QWidget *parent, const char *name, bool modal, int flags);
    ~PlMessageDlg() override;

protected:
    void acceptKey() override;
    void softKeyPressed(int index) override;

private:
    Q_DISABLE_COPY(PlMessageDlg)
};
