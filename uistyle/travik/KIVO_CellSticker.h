#pragma once

#include "KIVO_ListScreen.h"

#include <memory>

class KIVO_TargetArfcn;
class PlListItem;

// "Cell Sticker": switches the sticker mode, takes the target ARFCN through the "Arfcn" popup
// and sends the sticker request; the engine handles the outcome. Owned by the Active Features
// menu; owns its popup.
class KIVO_CellSticker : public KIVO_ListScreen {
    Q_OBJECT

public:
    KIVO_CellSticker(QWidget *parent, const char *name);
    ~KIVO_CellSticker() override;

private slots:
    void cancel();
    void switchView(int row) override;
    void setCellSticker();
    void setStickerOff();

private:
    Q_DISABLE_COPY(KIVO_CellSticker)
    // Back runs cancel().
    void slotBack() override;
    void showStickerModeDialog();

    std::unique_ptr<KIVO_TargetArfcn> targetArfcnPopup;
    PlListItem *enterArfcnItem = nullptr;
};
