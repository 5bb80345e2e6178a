#include "KIVO_DataDisplay.h"

#include "KIVO_CrashText.h"
#include "KIVO_PanicText.h"
#include "KIVO_PanicTitle.h"
#include "PlMultiLineEdit.h"
#include "PlScrollPanel.h"

#include <cstdio>

KIVO_DataDisplay::KIVO_DataDisplay(QWidget *parent, const char *name, const PanicNode *node,
                                   PanicType panicType)
    : KIVO_Screen(parent, panicOpenerTitle(name).constData())
{
    setAppTitle(tr("Panic Data"));

    PlScrollPanel *panel = getContentWidget(true);
    panel->enableClipper(false);
    auto *view = new PlMultiLineEdit(panel->viewport());
    view->setReadOnly(true);
    // The view fills the content area; a line wider than the screen scrolls sideways rather
    // than breaking a hex line in two.
    view->setLineWrapMode(QPlainTextEdit::NoWrap);
    if (anyPanicSource(panicType)) {
        // The texts with a hex dump are underlined.
        view->setUnderline(panicType == PANIC_BP || panicType == PANIC_QUIRN ||
                           panicType == PANIC_DEVCD);
        view->insert(panicDetailText(panicType, node));
    } else {
        std::fprintf(stderr, "{%d} %s:%d\tUnknown Panic Type\n", 1, "KIVO_DataDisplay", __LINE__);
    }
    panel->addChild(view, 0, 0);
    setContentWidget(view);

    setSoftKey(1, tr("Back"), &KIVO_DataDisplay::slotBack);
}

KIVO_DataDisplay::~KIVO_DataDisplay() = default;

void KIVO_DataDisplay::slotBack()
{
    closeScreen();
}
