#include "KIVO_FTSOptions_P2.h"

#include "KIVO_Engine.h"
#include "KIVO_FTSAvailability.h"
#include "KIVO_Favourites.h"
#include "KIVO_Popups.h"
#include "KIVO_Visibles.h"

#include <QCoreApplication>
#include <QTimer>

#include <cstdio>

namespace {

enum FtsOptionsRow { AvailabilityRow = 0, FavouritesRow, VisiblesRow };

constexpr int kTitlesRetryMs = 2000;

} // namespace

KIVO_FTSOptions_P2::KIVO_FTSOptions_P2(QWidget *parent, const char *name)
    : KIVO_ListScreen(parent, name, "KIVO_FTSOptions_P2", "FTS Options",
                      {QStringLiteral("FTS Availability"), QStringLiteral("Edit Favourites"),
                       QStringLiteral("Edit Visibles")})
{
    std::fprintf(stderr, "[KIVO] pernu KIVO_FTSOptions::KIVO_FTSOptions \r\n");
    // Exit on the right; the left key stays empty.
    setBackKeyText(QCoreApplication::translate("KIVO_FTSOptions_P2", "Exit"));

    std::fprintf(stderr, "[KIVO] pernu in FTSOptions getTitleInfo()\r\n");
    kivo_eng->getTitleInfo();

    std::fprintf(stderr, "[KIVO] show FTSOptions \r\n");
    show();

    titlesTimer = std::make_unique<QTimer>();
    connect(titlesTimer.get(), &QTimer::timeout, this, &KIVO_FTSOptions_P2::getTitlesTimerExpired);
    titlesTimer->start(kTitlesRetryMs);
}

KIVO_FTSOptions_P2::~KIVO_FTSOptions_P2()
{
    availabilityDlg.reset();
    favouritesScreen.reset();
    visiblesScreen.reset();
    titlesTimer.reset();
}

void KIVO_FTSOptions_P2::slotBack()
{
    // Only hides: no title goes back, and the timer and the editors live on.
    hide();
}

void KIVO_FTSOptions_P2::switchView(int index)
{
    switch (index) {
    case AvailabilityRow:
        availabilityDlg.reset();
        availabilityDlg = std::make_unique<KIVO_FTSAvailability>(nullptr, nullptr);
        break;
    case FavouritesRow:
        openEditor(favouritesScreen);
        break;
    case VisiblesRow:
        openEditor(visiblesScreen);
        break;
    default:
        break;
    }
}

template <typename Editor> void KIVO_FTSOptions_P2::openEditor(std::unique_ptr<Editor> &slot)
{
    slot.reset();
    if (kivo_eng->titlesNum == 0) {
        showTimedNotice(QStringLiteral("List N/A,Please Wait"));
        return;
    }
    slot = std::make_unique<Editor>(nullptr, nullptr);
    slot->show();
}

void KIVO_FTSOptions_P2::getTitlesTimerExpired()
{
    if (kivo_eng->titlesNum != 0) {
        titlesTimer->stop();
        return;
    }
    std::fprintf(stderr, "[KIVO]***************retry get titles******* \r\n");
    kivo_eng->getTitleInfo();
}
