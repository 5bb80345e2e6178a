#pragma once

#include "KIVO_ListScreen.h"

#include <memory>

class KIVO_CellBar;
class KIVO_CellSticker;

// The "Active Features" menu: "Cell Sticker" and "Cell Bar Access". Owns the screens it opens;
// owned by the main screen.
class KIVO_ActiveFeatures : public KIVO_ListScreen {
    Q_OBJECT

public:
    KIVO_ActiveFeatures(QWidget *parent, const char *name);
    ~KIVO_ActiveFeatures() override;

private slots:
    void switchView(int row) override;

private:
    Q_DISABLE_COPY(KIVO_ActiveFeatures)
    std::unique_ptr<KIVO_CellSticker> cellStickerScreen;
    std::unique_ptr<KIVO_CellBar> cellBarScreen;
};
