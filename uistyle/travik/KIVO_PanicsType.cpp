#include "KIVO_PanicsType.h"

#include "KIVO_PanicText.h"
#include "KIVO_PanicTitle.h"
#include "KIVO_PanicsDisplay.h"

namespace {

QStringList sourceTitles()
{
    QStringList titles;
    for (const PanicSource &source : panicSources) {
        titles << QString::fromLatin1(source.title);
    }
    return titles;
}

} // namespace

// The row index is the PanicType of the source.
KIVO_PanicsType::KIVO_PanicsType(QWidget *parent, const char *name)
    : KIVO_ListScreen(parent, panicOpenerTitle(name).constData(), "KIVO_PanicsType", "Panics Type",
                      sourceTitles())
{
}

KIVO_PanicsType::~KIVO_PanicsType() = default;

void KIVO_PanicsType::switchView(int row)
{
    if (row < 0 || !panicSource(static_cast<PanicType>(row))) {
        return;
    }
    openChild(m_panicsDisplay, static_cast<PanicType>(row));
}
