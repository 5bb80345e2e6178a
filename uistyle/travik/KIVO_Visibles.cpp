#include "KIVO_Visibles.h"

#include "KIVO_Engine.h"
#include "KIVO_FtsBitmap.h"
#include "PlListBox.h"

#include <cstdio>

KIVO_Visibles::KIVO_Visibles(QWidget *parent, const char *name)
    : KIVO_FtsEditor(parent, name, "KIVO_Visibles", "Edit Visibles")
{
    // Connected before asking: with a cached bitmap the engine answers inside the call.
    connect(kivo_eng, &KIVO_Engine::showVislbiesResponse, this,
            &KIVO_Visibles::slotGetVisibleListResp);
    std::fprintf(stderr, "[KIVO] showVisibles \r\n");
    kivo_eng->showVisibles();
    listBox->setFocus();
}

KIVO_Visibles::~KIVO_Visibles() = default;

void KIVO_Visibles::slotGetVisibleListResp()
{
    std::fprintf(stderr, "[KIVO] slotGetVisibleListResp \r\n");
    std::fprintf(stderr, "titlesNum = %d, visibleList = %llx \r\n", kivo_eng->titlesNum,
                 static_cast<unsigned long long>(kivo_eng->visBitMap));
    fillRows(kivo_eng->visBitMap);
}

void KIVO_Visibles::slotBack()
{
    const quint64 visibles = checkedBitmap("setBitMap visible true, index = %d\r\n");
    // Only the bits of the titles the engine knows now decide; the FTS engine's bits above
    // them are neither compared nor carried over.
    const quint64 visValidBitMap = titleBitsShifted(visibles, kivo_eng->titlesNum);
    const quint64 oldVisValidBitMap = titleBitsShifted(kivo_eng->visBitMap, kivo_eng->titlesNum);
    std::fprintf(stderr, "[UI] visValidBitMap == %llx \r\n",
                 static_cast<unsigned long long>(visValidBitMap));
    std::fprintf(stderr, "[UI] oldVisValidBitMap == %llx \r\n",
                 static_cast<unsigned long long>(oldVisValidBitMap));
    if (visValidBitMap == oldVisValidBitMap) {
        std::fprintf(stderr, "[KIVO] visBitMap is not changed");
        hide();
        return;
    }
    sendChange(QStringLiteral("Visibles Changed"), "[KIVO] visBitMap set %llx \r\n", visibles,
               &KIVO_Engine::setVisibles);
}
