#include "KIVO_Notification.h"

#include "KIVO_CellChange.h"

KIVO_Notification::KIVO_Notification(QWidget *parent, const char *name)
    : KIVO_ListScreen(parent, name, "KIVO_Notification", "Notification",
                      {QStringLiteral("Cell Change Warning")})
{
}

KIVO_Notification::~KIVO_Notification() = default;

void KIVO_Notification::switchView(int row)
{
    if (row == 0) {
        openChild(cellChangeScreen);
    }
}
