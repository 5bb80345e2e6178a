#pragma once

#include "KIVO_ListScreen.h"

#include <memory>

class KIVO_CellChange;

// The "Notification" menu: "Cell Change Warning". Owns the screen it opens; owned by the main
// screen.
class KIVO_Notification : public KIVO_ListScreen {
    Q_OBJECT

public:
    KIVO_Notification(QWidget *parent, const char *name);
    ~KIVO_Notification() override;

private slots:
    void switchView(int row) override;

private:
    Q_DISABLE_COPY(KIVO_Notification)
    std::unique_ptr<KIVO_CellChange> cellChangeScreen;
};
