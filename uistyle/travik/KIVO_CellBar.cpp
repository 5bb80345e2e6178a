#include "KIVO_CellBar.h"

#include "KIVO_Engine.h"
#include "KIVO_Popups.h"
#include "KIVO_Settings.h"
#include "PlListBox.h"
#include "PlListBoxItem.h"
#include "PlScrollPanel.h"
#include "TAPI_KIVO.h"

#include <QPointer>

namespace {

// The rows are the modes 0 Normal, 1 Inverted, 2 Ignored; any other value reads as Ignored.
int modeRow(int value)
{
    return (value == 0 || value == 1) ? value : 2;
}

} // namespace

KIVO_CellBar::KIVO_CellBar(QWidget *parent, const char *name) : KIVO_Screen(parent, name)
{
    PlScrollPanel *content = getContentWidget(true);
    content->enableClipper(false);
    setAppTitle(QStringLiteral("Cell Bar Access"));

    // The list sits on the content area itself, without a layout.
    cellBarList = new PlListBox("%R20%M", content, 0, 40);
    for (const char *text : {"Normal", "Inverted", "Ignored"}) {
        auto *row = new PlListBoxItem(cellBarList, QString());
        row->appendSubItem(1, QString::fromLatin1(text), false);
        cellBarList->insertItem(row, -1, true);
    }
    setContentWidget(cellBarList);
    connect(cellBarList, &PlListBox::selected, this, &KIVO_CellBar::setCellBarMode);

    kivo_eng->cellBarMode = readSetting(settingFor(kKeyCellBarring));
    cellBarList->checkItem(modeRow(kivo_eng->cellBarMode), true);
    setSoftKey(0, tr("Select"), &KIVO_CellBar::setCellBarMode);
    setSoftKey(1, tr("Cancel"), &KIVO_CellBar::slotCancel);
}

KIVO_CellBar::~KIVO_CellBar() = default;

void KIVO_CellBar::setCellBarMode()
{
    // A list that never had the focus has no current row; that counts as "any other row".
    const int mode = modeRow(cellBarList->currentItem());
    const int oldMode = kivo_eng->cellBarMode;
    kivo_eng->cellBarMode = mode;
    const int status = TAPI_KIVO_SetCellBarAccessMode(mode);

    // The popups run a nested event loop, in which the menu may replace this screen.
    QPointer<KIVO_CellBar> self(this);
    if (status != 0) {
        kivo_eng->showTapiError(status);
        kivo_eng->cellBarMode = oldMode;
    } else {
        const QByteArray text =
            "Cell Bar set to: " + cellBarList->item(mode)->getSubItemText(1).toLatin1();
        writeIntEntry(kVolatilePath, kKeyCellBarring, mode);
        showMessagePopup("Cell Barring", text.constData());
    }
    if (self) {
        closeScreen();
    }
}

void KIVO_CellBar::slotCancel()
{
    closeScreen();
}
