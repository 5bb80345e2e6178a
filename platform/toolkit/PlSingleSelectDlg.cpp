#include "PlSingleSelectDlg.h"

#include "PlListBox.h"
#include "PlSoftKey.h"

PlSingleSelectDlg::PlSingleSelectDlg(const QString &title, const QString &text, QWidget *parent,
                                     const char *name, bool modal, int flags, int arg)
    : PlPopup(0, parent, name, modal, arg, flags)
{
    setTitle(title);
    setInstructText(text);
    m_list = new PlListBox("%R20%M", this, 0, 40);
    m_list->setMinimumHeight(64);
    insertChild(m_list, -1);
    PlSoftKey *keys = getSoftKey();
    keys->setText(0, tr("Select"), 0);
    keys->setText(1, tr("Cancel"), 0);
    keys->setClickedSlot(0, this, &QDialog::accept);
    keys->setClickedSlot(1, this, &QDialog::reject);
    connect(m_list, &PlListBox::selected, this, [this] { accept(); });
}

PlSingleSelectDlg::~PlSingleSelectDlg() = default;

PlListBox *PlSingleSelectDlg::getListBox() const
{
    return m_list;
}
