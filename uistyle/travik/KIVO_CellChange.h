#pragma once

#include "KIVO_ListScreen.h"

// "Cell Change Warning": switches the message and the tone warning on a cell change on or off,
// in the engine and in the settings file. Shows itself; owned by the Notification menu.
class KIVO_CellChange : public KIVO_ListScreen {
    Q_OBJECT

public:
    KIVO_CellChange(QWidget *parent, const char *name);
    ~KIVO_CellChange() override;

private slots:
    void switchView(int row) override;

private:
    Q_DISABLE_COPY(KIVO_CellChange)
    void ShowMessageWarning();
    void ShowToneWarning();
    void applyMessageWarning(int row);
    void applyToneWarning(int row);
};
