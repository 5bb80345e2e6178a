#include "KIVO_CellSticker.h"

#include "KIVO_Engine.h"
#include "KIVO_OnOffChoice.h"
#include "KIVO_Popups.h"
#include "KIVO_Settings.h"
#include "KIVO_TargetArfcn.h"
#include "PlListBox.h"
#include "PlListItem.h"
#include "PlScrollPanel.h"
#include "PlSoftKey.h"
#include "TAPI_KIVO.h"

#include <QByteArray>
#include <QPointer>

#include <cstdio>

namespace {

enum StickerRow { StickerModeRow = 0, EnterArfcnRow };

// Sticker states: no sticker, ARFCN entered and request pending, sticker set.
constexpr int kArfcnEntered = 1;
constexpr int kStickerSet = 2;

int readSetting(const char *key, int defaultValue)
{
    return readIntEntry(iniFilePath().toLocal8Bit().constData(), key, defaultValue);
}

void writeSetting(const char *key, int value)
{
    writeIntEntry(iniFilePath().toLocal8Bit().constData(), key, value);
}

// Puts the sticker state back as it was before the last ARFCN entry, in memory and in the file.
void restorePrevStickerState()
{
    kivo_eng->cellStickerState = kivo_eng->prevCellStickerState;
    writeSetting(kKeyStickerState, kivo_eng->cellStickerState);
}

} // namespace

KIVO_CellSticker::KIVO_CellSticker(QWidget *parent, const char *name)
    : KIVO_ListScreen(parent, name, "KIVO_CellSticker", "Cell Sticker",
                      {QStringLiteral("Set Sticker Mode"), QStringLiteral("Enter Arfcn")})
{
    setAppTitle(QStringLiteral("Cell Sticker"));
    // Unlike the menus, no row is made current.
    listBox()->setCurrentRow(-1);
    enterArfcnItem = static_cast<PlListItem *>(listBox()->item(EnterArfcnRow));

    kivo_eng->cell_sticker_mode = static_cast<quint8>(readSetting(kKeyStickerMode, 0));
    kivo_eng->stickerRequest.mode = kivo_eng->cell_sticker_mode;
    kivo_eng->cellStickerState = readSetting(kKeyStickerState, 0);
    if (kivo_eng->cellStickerState == kStickerSet) {
        kivo_eng->arfcn = readSetting(kKeyStoredArfcn, -1);
        std::fprintf(stderr, "\nValue of arfcn = %d", kivo_eng->arfcn);
    }
    enterArfcnItem->setEnabled(kivo_eng->cell_sticker_mode == 1);

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
                                kivo_eng->cell_sticker_mode == 1);
    if (row >= 0) {
        applyStickerMode(row);
    }
}

void KIVO_CellSticker::applyStickerMode(int row)
{
    // Nothing goes to the telephony layer here; the mode takes effect with the next "Set".
    const quint8 mode = row == 0 ? 1 : 0;
    kivo_eng->cell_sticker_mode = mode;
    kivo_eng->stickerRequest.mode = mode;
    enterArfcnItem->setEnabled(mode == 1);
    writeSetting(kKeyStickerMode, mode);
}

void KIVO_CellSticker::setCellSticker()
{
    if (kivo_eng->cell_sticker_mode == 1) {
        startSticker();
    } else {
        stopSticker();
    }
}

void KIVO_CellSticker::startSticker()
{
    if (kivo_eng->cellStickerState != kArfcnEntered) {
        showMessagePopup("Cell Sticker Error", "No cell selected");
        return;
    }
    // The ARFCN of the last request again: nothing to send.
    if (stickerArfcn(kivo_eng->stickerRequest) == static_cast<quint32>(kivo_eng->arfcn)) {
        kivo_eng->cellStickerState = kivo_eng->prevCellStickerState;
        std::fprintf(stderr, "\ncell sticker state = %d ", kivo_eng->cellStickerState);
        writeSetting(kKeyStickerState, kivo_eng->cellStickerState);
        return;
    }
    setStickerArfcn(kivo_eng->stickerRequest, static_cast<quint32>(kivo_eng->arfcn));

    // From here on every popup runs a nested event loop: sticker events may change the state
    // and the menu may replace this screen meanwhile. Only the engine is used after one,
    // and this screen only through `self`.
    QPointer<KIVO_CellSticker> self(this);
    const QByteArray question =
        QByteArray("Set sticker on ARFCN ") +
        QByteArray::number(static_cast<int>(stickerArfcn(kivo_eng->stickerRequest))) + " ?";
    showMessagePopup("Cell Sticker Information", question.constData());

    ArfcnCheck check;
    check.arfcn = static_cast<quint32>(kivo_eng->arfcn);
    TAPI_KIVO_CheckArfcn(&check);
    if (check.verdict != 0) {
        if (kivo_eng->cellStickerState == kArfcnEntered) {
            kivo_eng->arfcn = kivo_eng->storedArfcn;
        }
        restorePrevStickerState();
        showMessagePopup("Cell Sticker Information", "Wrong ARFCN entered");
        return;
    }

    const int status = TAPI_KIVO_SetCellStickerMode(&kivo_eng->stickerRequest);
    if (status == 0) {
        // The outcome arrives as a telephony event.
        return;
    }
    // A refused request turns the mode off in memory only; a rebuilt screen shows it on.
    kivo_eng->cell_sticker_mode = 0;
    kivo_eng->stickerRequest.mode = 0;
    kivo_eng->showTapiError(status);
    if (self) {
        self->enterArfcnItem->setEnabled(false);
    }
    if (kivo_eng->cellStickerState == kArfcnEntered) {
        kivo_eng->arfcn = kivo_eng->storedArfcn;
        std::fprintf(stderr, "\nkivo_eng->arfcn = %d ", kivo_eng->arfcn);
    }
    restorePrevStickerState();
}

void KIVO_CellSticker::stopSticker()
{
    if (kivo_eng->cellStickerState != kStickerSet) {
        showMessagePopup("Cell Sticker Information", "Sticker not set");
        return;
    }
    setStickerArfcn(kivo_eng->stickerRequest, static_cast<quint32>(kivo_eng->arfcn));
    // The state follows the layer's event.
    const int status = TAPI_KIVO_SetCellStickerMode(&kivo_eng->stickerRequest);
    if (status != 0) {
        kivo_eng->showTapiError(status);
    }
}

void KIVO_CellSticker::setStickerOff()
{
    if (kivo_eng->cell_sticker_mode == 0) {
        return;
    }
    // The stop goes out on the ARFCN of the last request; the row "Enter Arfcn" stays as it is.
    kivo_eng->cell_sticker_mode = 0;
    kivo_eng->stickerRequest.mode = 0;
    const int status = TAPI_KIVO_SetCellStickerMode(&kivo_eng->stickerRequest);
    if (status == 0) {
        writeSetting(kKeyStickerMode, 0);
    } else {
        kivo_eng->showTapiError(status);
    }
}
