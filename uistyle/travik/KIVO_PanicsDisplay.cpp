#include "KIVO_PanicsDisplay.h"

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
                      panicRowTexts(panicType, panics.head, panics.count)),
      m_panicType(panicType), m_panicCount(panics.count), m_ptemp(panics.head),
      m_panicList(panics.head)
{
    // A known source with nothing to show says so; the screen then opens with an empty list.
    const bool known = panicType <= PANIC_KERNEL;
    const bool numbered = panicType != PANIC_KERNEL;
    if (known && (!m_panicList || (numbered && m_panicCount == 0))) {
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
}

KIVO_PanicsDisplay::Panics KIVO_PanicsDisplay::readPanics(PanicType panicType)
{
    Panics panics;
    switch (panicType) {
    case PANIC_BP:
        readBpPanics(&panics.head, &panics.count);
        break;
    case PANIC_QUIRN:
        readQuirnPanics(&panics.head, &panics.count);
        break;
    case PANIC_AP:
        readApPanics(&panics.head, &panics.count);
        break;
    case PANIC_KERNEL:
        readKernelPanic(&panics.head);
        break;
    default:
        std::fprintf(stderr, "Unknown Panic Type");
        break;
    }
    return panics;
}

void KIVO_PanicsDisplay::switchView(int index)
{
    const uint8_t target = static_cast<uint8_t>(m_panicCount - index);
    PanicNode *node = m_ptemp;
    switch (m_panicType) {
    case PANIC_BP:
    case PANIC_QUIRN:
    case PANIC_AP:
        node = findPanicNode(m_panicType, m_ptemp, target);
        break;
    case PANIC_KERNEL:
        // One record, at the head: nothing to search.
        break;
    default:
        std::fprintf(stderr, "Unknown Panic Type");
        break;
    }
    // No record carries the number (AP numbering has gaps where a dump was skipped), or the
    // list is empty: no detail to open, and the next search starts where this one did.
    if (!node) {
        return;
    }
    m_ptemp = node;
    openChild(m_dataDisplay, m_ptemp, m_panicType);
}
