#include "KIVO_MainScreen.h"

#include "KIVO_ActiveFeatures.h"
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
    screenParent = parent;
    setBackKeyText(QCoreApplication::translate("KIVO_MainScreen", "Exit"));
}

KIVO_MainScreen::~KIVO_MainScreen()
{
    activeFeaturesScreen.reset();
    notificationScreen.reset();
}

void KIVO_MainScreen::slotBack()
{
    QApplication::quit();
}

void KIVO_MainScreen::switchView(int row)
{
    switch (row) {
    case ActiveFeaturesRow:
        openChild(activeFeaturesScreen);
        break;
    case NotificationRow:
        openChild(notificationScreen);
        break;
    case InternalOptionsRow:
        openChild(internalOptionsScreen);
        break;
    case FtsOptionsRow:
    default:
        break;
    }
}
