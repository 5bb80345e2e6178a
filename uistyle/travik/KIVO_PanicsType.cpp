#include "KIVO_PanicsType.h"

#include "KIVO_PanicTitle.h"
#include "KIVO_PanicsDisplay.h"

// The row index is the PanicType of the source.
KIVO_PanicsType::KIVO_PanicsType(QWidget *parent, const char *name)
    : KIVO_ListScreen(parent, panicOpenerTitle(name).constData(), "KIVO_PanicsType", "Panics Type",
                      {QStringLiteral("BP Panics"), QStringLiteral("AP Panics"),
                       QStringLiteral("QUIRN Panics"), QStringLiteral("Kernel Panic")})
{
}

KIVO_PanicsType::~KIVO_PanicsType() = default;

void KIVO_PanicsType::switchView(int row)
{
    if (row < PANIC_BP || row > PANIC_KERNEL) {
        return;
    }
    openChild(m_panicsDisplay, static_cast<PanicType>(row));
}
