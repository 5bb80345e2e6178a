#include "KIVO_CellSticker.h"

#include "KIVO_Engine.h"
#include "KIVO_OnOffChoice.h"
#include "KIVO_TargetArfcn.h"
#include "PlListBox.h"
#include "PlListItem.h"
#include "PlScrollPanel.h"
#include "PlSoftKey.h"

namespace {

enum StickerRow { StickerModeRow = 0, EnterArfcnRow };

} // namespace

KIVO_CellSticker::KIVO_CellSticker(QWidget *parent, const char *name)
    : KIVO_ListScreen(parent, name, "KIVO_CellSticker", "Cell Sticker",
                      {QStringLiteral("Set Sticker Mode"), QStringLiteral("Enter Arfcn")})
{
    setAppTitle(QStringLiteral("Cell Sticker"));
    // Unlike the menus, no row is made current.
    listBox()->setCurrentRow(-1);
    enterArfcnItem = static_cast<PlListItem *>(listBox()->item(EnterArfcnRow));

    // The sticker itself is the engine's; the screen passes on the user's choices and keys.
    KIVO_StickerMachine *sticker = kivo_eng->stickerMachine();
    connect(sticker, &KIVO_StickerMachine::arfcnEntryEnabled, this,
            [this](bool enabled) { enterArfcnItem->setEnabled(enabled); });
    sticker->loadScreen();

    connect(kivo_eng, &KIVO_Engine::cellBarred, this, &KIVO_CellSticker::setStickerOff);
    softKey()->setText(0, tr("Set"), 0);
    softKey()->setClickedSlot(0, this, &KIVO_CellSticker::setCellSticker);
}

KIVO_CellSticker::~KIVO_CellSticker() = default;

void KIVO_CellSticker::cancel()
{
    KIVO_ListScreen::slotBack();
}

void KIVO_CellSticker::slotBack()
{
    cancel();
}

void KIVO_CellSticker::switchView(int row)
{
    if (row == StickerModeRow) {
        showStickerModeDialog();
    } else if (row == EnterArfcnRow && enterArfcnItem->enabled()) {
        targetArfcnPopup.reset();
        targetArfcnPopup = std::make_unique<KIVO_TargetArfcn>(nullptr, nullptr);
        targetArfcnPopup->show();
    }
}

void KIVO_CellSticker::showStickerModeDialog()
{
    const int row = chooseOnOff(this, "Cell Sticker", getContentWidget(true)->width(),
                                kivo_eng->cell_sticker_mode == KIVO_Sticker::On);
    if (row >= 0) {
        kivo_eng->stickerMachine()->chooseMode(row);
    }
}

void KIVO_CellSticker::setCellSticker()
{
    // Messages of "Set" run nested event loops in which the menu may replace this screen; the
    // machine goes on without it, and its signals no longer reach it.
    kivo_eng->stickerMachine()->pressSet();
}

void KIVO_CellSticker::setStickerOff()
{
    kivo_eng->stickerMachine()->stickerFailed();
}
