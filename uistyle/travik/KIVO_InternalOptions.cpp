#include "KIVO_InternalOptions.h"

#include "KIVO_PanicTitle.h"
#include "KIVO_PanicsType.h"

KIVO_InternalOptions::KIVO_InternalOptions(QWidget *parent, const char *name)
    : KIVO_ListScreen(parent, panicOpenerTitle(name).constData(), "KIVO_InternalOptions",
                      "Panic Viewer", {QStringLiteral("Panic Viewer")})
{
}

KIVO_InternalOptions::~KIVO_InternalOptions() = default;

void KIVO_InternalOptions::switchView(int row)
{
    if (row == 0) {
        openChild(m_panicsType);
    }
}
