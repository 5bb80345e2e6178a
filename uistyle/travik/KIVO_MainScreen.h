#pragma once

#include "KIVO_ListScreen.h"

#include <memory>

class KIVO_FTSOptions_P2;
class KIVO_ActiveFeatures;
class KIVO_Notification;
class KIVO_InternalOptions;

// The main menu: "FTS Options", "Active Features", "Notification", "Internal Options", and
// Exit, which ends the program. Owns the screens it opens; made by main.
class KIVO_MainScreen : public KIVO_ListScreen {
    Q_OBJECT

public:
    KIVO_MainScreen(QWidget *parent, const char *name);
    ~KIVO_MainScreen() override;

private slots:
    void slotBack() override;
    void switchView(int row) override;

private:
    Q_DISABLE_COPY(KIVO_MainScreen)
    std::unique_ptr<KIVO_FTSOptions_P2> ftsOptionsScreen;
    std::unique_ptr<KIVO_ActiveFeatures> activeFeaturesScreen;
    std::unique_ptr<KIVO_Notification> notificationScreen;
    std::unique_ptr<KIVO_InternalOptions> internalOptionsScreen;
};
