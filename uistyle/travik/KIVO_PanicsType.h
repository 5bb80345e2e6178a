#pragma once

#include "KIVO_ListScreen.h"

#include <memory>

class KIVO_PanicsDisplay;

// The menu of the four panic sources; a row opens the panic list of its source, which it owns
// and builds afresh (reading the source again) each time the row is chosen.
class KIVO_PanicsType : public KIVO_ListScreen {
    Q_OBJECT

public:
    KIVO_PanicsType(QWidget *parent, const char *name);
    ~KIVO_PanicsType() override;

private slots:
    void switchView(int row) override;

private:
    Q_DISABLE_COPY(KIVO_PanicsType)
    std::unique_ptr<KIVO_PanicsDisplay> m_panicsDisplay;
};
