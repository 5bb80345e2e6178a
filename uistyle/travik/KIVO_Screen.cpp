#include "KIVO_Screen.h"

KIVO_Screen::KIVO_Screen(QWidget *parent, const char *name)
    : PlKbMainWidget(parent, name, 0), m_openerTitle(name)
{
}

KIVO_Screen::~KIVO_Screen() = default;

void KIVO_Screen::closeScreen()
{
    hide();
    setAppTitle(QString::fromLatin1(m_openerTitle));
}

PlSoftKey *KIVO_Screen::softKeyBar()
{
    if (!softKey()) {
        setCSTWidget(new PlSoftKey("CST_2A", this, this));
    }
    return softKey();
}
