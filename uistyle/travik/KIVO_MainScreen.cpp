#include "KIVO_MainScreen.h"

#include "KIVO_ActiveFeatures.h"
#include "KIVO_FTSOptions_P2.h"
#include "KIVO_InternalOptions.h"
#include "KIVO_Notification.h"

#include <QApplication>
#include <QCoreApplication>

#include <cstdio>

namespace {

// The main screen's rows, in this order.
enum MainRow { FtsOptionsRow = 0, ActiveFeaturesRow, NotificationRow, InternalOptionsRow };

} // namespace

KIVO_MainScreen::KIVO_MainScreen(QWidget *parent, const char *name)
    : KIVO_ListScreen(parent, name, "KIVO_MainScreen", "KIVO",
                      {QStringLiteral("FTS Options"), QStringLiteral("Active Features"),
                       QStringLiteral("Notification"), QStringLiteral("Internal Options")})
{
    setBackKeyText(QCoreApplication::translate("KIVO_MainScreen", "Exit"));
}

KIVO_MainScreen::~KIVO_MainScreen()
{
    // The screens go in a fixed order.
    ftsOptionsScreen.reset();
    activeFeaturesScreen.reset();
    notificationScreen.reset();
    internalOptionsScreen.reset();
}

void KIVO_MainScreen::slotBack()
{
    QApplication::quit();
}

void KIVO_MainScreen::switchView(int row)
{
    switch (row) {
    case FtsOptionsRow:
        ftsOptionsScreen.reset();
        std::fprintf(stderr, "[KIVO] start KIVO_FTS_Options_P2()\r\n");
        // It shows itself once it has asked for the titles.
        ftsOptionsScreen = std::make_unique<KIVO_FTSOptions_P2>(nullptr, nullptr);
        break;
    case ActiveFeaturesRow:
        openChild(activeFeaturesScreen);
        break;
    case NotificationRow:
        openChild(notificationScreen);
        break;
    case InternalOptionsRow:
        openChild(internalOptionsScreen);
        break;
    default:
        break;
    }
}
