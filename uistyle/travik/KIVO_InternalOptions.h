#pragma once

#include "KIVO_ListScreen.h"

#include <memory>

class KIVO_PanicsType;

// The "Internal Options" menu: its one row "Panic Viewer" opens the menu of the panic sources,
// which it owns. Made and owned by the main menu.
class KIVO_InternalOptions : public KIVO_ListScreen {
    Q_OBJECT

public:
    KIVO_InternalOptions(QWidget *parent, const char *name);
    ~KIVO_InternalOptions() override;

private slots:
    void switchView(int row) override;

private:
    Q_DISABLE_COPY(KIVO_InternalOptions)
    std::unique_ptr<KIVO_PanicsType> m_panicsType;
};
