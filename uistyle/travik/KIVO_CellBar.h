#pragma once

#include "KIVO_Screen.h"

class PlListBox;

// "Cell Bar Access": tells the telephony layer how to treat barred cells (Normal, Inverted,
// Ignored) and keeps the accepted mode in "/tmp/kivo". Owned by the Active Features menu.
class KIVO_CellBar : public KIVO_Screen {
    Q_OBJECT

public:
    KIVO_CellBar(QWidget *parent, const char *name);
    ~KIVO_CellBar() override;

private slots:
    void setCellBarMode();
    void slotCancel();

private:
    Q_DISABLE_COPY(KIVO_CellBar)
    PlListBox *cellBarList = nullptr;
};
