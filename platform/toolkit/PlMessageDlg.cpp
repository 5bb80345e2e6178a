#include "PlMessageDlg.h"

#include "PlSoftKey.h"

PlMessageDlg::PlMessageDlg(const QString &title, const QString &text, int messageType, int arg,
                           QWidget *parent, const char *name, bool modal, int flags)
    : PlPopup(messageType, parent, name, modal, arg, flags)
{
    setTitle(title);
    setInstructText(text);
    getSoftKey()->setText(0, tr("OK"), 0);
    getSoftKey()->setClickedSlot(0, this, &QDialog::accept);
}

PlMessageDlg::~PlMessageDlg() = default;

void PlMessageDlg::acceptKey()
{
    accept();
}

void PlMessageDlg::softKeyPressed(int index)
{
    Q_UNUSED(index);
    accept();
}
