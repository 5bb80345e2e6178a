#pragma once

#include "KIVO_Panic_Util.h"
#include "KIVO_Screen.h"

// The detail text of one panic, in a read-only text view. Made and owned by the panic list
// screen; the node belongs to that screen's panic list and is read only while building.
class KIVO_DataDisplay : public KIVO_Screen {
    Q_OBJECT

public:
    KIVO_DataDisplay(QWidget *parent, const char *name, const PanicNode *node, PanicType panicType);
    ~KIVO_DataDisplay() override;

private slots:
    void slotBack();

private:
    Q_DISABLE_COPY(KIVO_DataDisplay)
};
