#include "KIVO_OnOffChoice.h"

#include "PlListBox.h"
#include "PlListBoxItem.h"
#include "PlSingleSelectDlg.h"

#include <QPointer>

int chooseOnOff(QWidget *parent, const char *title, int minimumListWidth, bool on)
{
    // A child of `parent`: deleting the parent during exec() deletes the dialog too.
    QPointer<PlSingleSelectDlg> dialog =
        new PlSingleSelectDlg(QString::fromLatin1(title), QString(), parent, nullptr, true, 0, 0);
    PlListBox *list = dialog->getListBox();
    list->setMinimumWidth(minimumListWidth);
    for (const char *text : {"On", "Off"}) {
        auto *row = new PlListBoxItem(list, QString());
        row->appendSubItem(1, QString::fromLatin1(text), false);
        list->insertItem(row, -1, true);
    }
    list->setFocus();
    const int preselected = on ? 0 : 1;
    list->setSelected(preselected, true);
    list->checkItem(preselected, true);

    const int result = dialog->exec();
    if (!dialog) {
        return -1;
    }
    int chosen = -1;
    if (result == 1 && list->currentItem() >= 0) {
        chosen = list->currentItem();
        list->checkItem(chosen, true);
    }
    delete dialog;
    return chosen;
}
