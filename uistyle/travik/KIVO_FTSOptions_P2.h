#pragma once

#include "KIVO_ListScreen.h"

#include <memory>

class KIVO_FTSAvailability;
class KIVO_Favourites;
class KIVO_Visibles;
class QTimer;

// "FTS Options": the FTS availability choice and the two editors. It asks the FTS engine for
// the titles the editors need and asks again every 2 s until they are known. Shows itself;
// Exit only hides it. Owned by the main screen, which rebuilds it on each choice.
class KIVO_FTSOptions_P2 : public KIVO_ListScreen {
    Q_OBJECT

public:
    KIVO_FTSOptions_P2(QWidget *parent, const char *name);
    ~KIVO_FTSOptions_P2() override;

private slots:
    void slotBack() override;
    void switchView(int index) override;
    void getTitlesTimerExpired();

private:
    Q_DISABLE_COPY(KIVO_FTSOptions_P2)
    // Builds and shows a fresh editor when the titles are known; otherwise asks to wait.
    template <typename Editor> void openEditor(std::unique_ptr<Editor> &slot);

    std::unique_ptr<KIVO_FTSAvailability> availabilityDlg;
    std::unique_ptr<KIVO_Favourites> favouritesScreen;
    std::unique_ptr<KIVO_Visibles> visiblesScreen;
    std::unique_ptr<QTimer> titlesTimer;
};
