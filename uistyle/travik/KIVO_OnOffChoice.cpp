#include "KIVO_OnOffChoice.h"

#include "PlListBox.h"
#include "PlListBoxItem.h"
#include "PlSingleSelectDlg.h"

#include <QPointer>

#include <memory>

int chooseOnOff(QWidget *parent, const char *title, int minimumListWidth, bool on)
{
    // A top-level popup owned here; it is cancelled when `parent` goes during exec().
    QPointer<QWidget> opener(parent);
    auto dialog = std::make_unique<PlSingleSelectDlg>(QString::fromLatin1(title), QString(),
                                                      nullptr, nullptr, true, 0, 0);
    QObject::connect(parent, &QObject::destroyed, dialog.get(), &PlSingleSelectDlg::reject);
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
    if (!opener || result != 1 || list->currentItem() < 0) {
        return -1;
    }
    const int chosen = list->currentItem();
    list->checkItem(chosen, true);
    return chosen;
}
