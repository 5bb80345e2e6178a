#include "KIVO_Favourites.h"

#include "KIVO_Engine.h"
#include "PlListBox.h"

#include <cstdio>

KIVO_Favourites::KIVO_Favourites(QWidget *parent, const char *name)
    : KIVO_FtsEditor(parent, name, "KIVO_Favourites", "Edit Favourites")
{
    // Connected before asking: with a cached bitmap the engine answers inside the call.
    connect(kivo_eng, &KIVO_Engine::showFavouritesResponse, this,
            &KIVO_Favourites::slotGetFavouriteListResp);
    std::fprintf(stderr, "[KIVO] showFavourites \r\n");
    kivo_eng->showFavourites();
    listBox->setFocus();
}

KIVO_Favourites::~KIVO_Favourites() = default;

void KIVO_Favourites::slotGetFavouriteListResp()
{
    std::fprintf(stderr, "[KIVO] slotGetFavouriteListResp \r\n");
    std::fprintf(stderr, "titlesNum = %0d, list = %0llx \r\n", kivo_eng->titlesNum,
                 static_cast<unsigned long long>(kivo_eng->fabBitMap));
    fillRows(kivo_eng->fabBitMap);
}

void KIVO_Favourites::slotBack()
{
    std::fprintf(stderr, "slot Back \r\n");
    const quint64 favourites = checkedBitmap("setBitMap favourite true, index = %d\r\n");
    if (favourites == kivo_eng->fabBitMap) {
        std::fprintf(stderr, "[KIVO] fabBitMap is not changed");
        hide();
        return;
    }
    sendChange(QStringLiteral("Favourites Changed"), "[KIVO] fabBitMap to set %0llx \r\n",
               favourites, &KIVO_Engine::setFavourites);
}
