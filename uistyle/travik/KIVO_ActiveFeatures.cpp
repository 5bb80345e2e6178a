#include "KIVO_ActiveFeatures.h"

#include "KIVO_CellBar.h"
#include "KIVO_CellSticker.h"

KIVO_ActiveFeatures::KIVO_ActiveFeatures(QWidget *parent, const char *name)
    : KIVO_ListScreen(parent, name, "KIVO_ActiveFeatures", "Active Features",
                      {QStringLiteral("Cell Sticker"), QStringLiteral("Cell Bar Access")})
{
}

KIVO_ActiveFeatures::~KIVO_ActiveFeatures()
{
    cellStickerScreen.reset();
    cellBarScreen.reset();
}

void KIVO_ActiveFeatures::switchView(int row)
{
    // Every row but the first leads to Cell Bar Access.
    if (row == 0) {
        openChild(cellStickerScreen);
    } else {
        openChild(cellBarScreen);
    }
}
