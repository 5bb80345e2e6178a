#include "KIVO_PanicsDisplay.h"

#include "KIVO_CrashText.h"
#include "KIVO_DataDisplay.h"
#include "KIVO_PanicText.h"
#include "KIVO_PanicTitle.h"
#include "KIVO_Popups.h"
#include "PlListBox.h"

#include <cstdio>

KIVO_PanicsDisplay::KIVO_PanicsDisplay(QWidget *parent, const char *name, PanicType panicType)
    : KIVO_PanicsDisplay(parent, name, panicType, readPanics(panicType))
{
}

// The rows run from the head, so row 0 is the highest panic number.
KIVO_PanicsDisplay::KIVO_PanicsDisplay(QWidget *parent, const char *name, PanicType panicType,
                                       Panics panics)
    : KIVO_ListScreen(parent, panicOpenerTitle(name).constData(), "KIVO_PanicsDisplay", "Panics",
                      rowTexts(panicType, panics)),
      m_panicType(panicType), m_panicCount(panics.count), m_ptemp(panics.head),
      m_panicList(panics.head), m_crashType(panics.crashType), m_crashList(panics.crashHead),
      m_crashCount(panics.crashCount)
{
    // A known source with nothing to show says so; the screen then opens with an empty list.
    const bool known = panicType <= PANIC_KERNEL;
    const bool numbered = panicType != PANIC_KERNEL;
    const bool noCrashes = m_crashCount == 0;
    if (known && noCrashes && (!m_panicList || (numbered && m_panicCount == 0))) {
        showMessagePopup("Panic List:", "No Panics to display");
    }
    std::fprintf(stderr, "Address in m_ptemp = %p", static_cast<void *>(m_ptemp));
}

KIVO_PanicsDisplay::~KIVO_PanicsDisplay()
{
    // Nothing that shows the list may outlive it: the detail screen points into it.
    m_dataDisplay.reset();
    delete listBox();
    std::fprintf(stderr, "Address in m_ptemp = %p", static_cast<void *>(m_panicList));
    freePanicList(&m_panicList);
    freePanicList(&m_crashList);
}

QStringList KIVO_PanicsDisplay::rowTexts(PanicType panicType, const Panics &panics)
{
    return panicRowTexts(panicType, panics.head, panics.count) +
           panicRowTexts(panics.crashType, panics.crashHead, panics.crashCount);
}

KIVO_PanicsDisplay::Panics KIVO_PanicsDisplay::readPanics(PanicType panicType)
{
    Panics panics;
    if (const PanicSource *source = panicSource(panicType)) {
        source->read(&panics.head, &panics.count);
        // The seed's own records first, unchanged; then those a mainline Linux keeps.
        if (const PanicSource *crashes = crashSourceJoining(panicType)) {
            panics.crashType = crashes->type;
            crashes->read(&panics.crashHead, &panics.crashCount);
        }
    } else {
        std::fprintf(stderr, "Unknown Panic Type");
    }
    return panics;
}

void KIVO_PanicsDisplay::switchView(int index)
{
    if (!panicSource(m_panicType)) {
        std::fprintf(stderr, "Unknown Panic Type");
        return;
    }
    // Each row opens the record whose number it shows, also where AP numbers have gaps (a
    // skipped file): the target is the number of the row's own record, searched from where the
    // previous search ended.
    const QList<PanicNode *> rows = panicRowNodes(m_panicType, m_panicList, m_panicCount);
    if (index >= rows.size()) {
        // A crash record's row, after the source's own rows.
        const QList<PanicNode *> crashes = panicRowNodes(m_crashType, m_crashList, m_crashCount);
        if (m_crashCount > 0 && index - rows.size() < crashes.size()) {
            openChild(m_dataDisplay, crashes.at(index - rows.size()), m_crashType);
        }
        return;
    }
    if (index < 0) {
        return;
    }
    PanicNode *node = rows.at(index);
    if (m_panicType != PANIC_KERNEL) {
        node = findPanicNode(m_panicType, m_ptemp, panicNumber(m_panicType, rows.at(index)));
    }
    if (!node) {
        return;
    }
    m_ptemp = node;
    openChild(m_dataDisplay, m_ptemp, m_panicType);
}
