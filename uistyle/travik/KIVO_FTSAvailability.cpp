#include "KIVO_FTSAvailability.h"

#include "AM_SystemStateClient.h"
#include "KIVO_Engine.h"
#include "KIVO_Popups.h"
#include "KIVO_Settings.h"
#include "PlConfig.h"
#include "PlListBox.h"
#include "PlListBoxItem.h"
#include "PlSingleSelectDlg.h"

#include <cstdio>
#include <memory>

namespace {

// One availability choice: the list row, the stored mode, the event the application manager
// gets and the confirmation.
struct FtsMode {
    const char *rowText;
    int mode;
    AM_SystemState::CLIENT_EVENT event;
    const char *confirmation;
};

constexpr FtsMode kModes[] = {
    {"Off", 0, AM_SystemState::CLIENT_EVENT_FTS_OFF, "FTS successfully set to: Off"},
    {"Temporarily On", 1, AM_SystemState::CLIENT_EVENT_FTS_ON,
     "FTS successfully set to: Temorarily On"},
    {"Permanently On", 2, AM_SystemState::CLIENT_EVENT_FTS_ON,
     "FTS successfully set to: Permanently On"},
};

// Row 0 and 1 are themselves; any other row, as any other stored mode, is the last choice.
int clampedIndex(int value)
{
    return (value == 0 || value == 1) ? value : 2;
}

} // namespace

KIVO_FTSAvailability::KIVO_FTSAvailability(QWidget *parent, const char *name) : QWidget(parent)
{
    if (name) {
        setObjectName(QString::fromLatin1(name));
    }
    auto dialog = std::make_unique<PlSingleSelectDlg>(QStringLiteral("FTS Options"), QString(),
                                                      parentWidget(), nullptr, true, 0, 0);
    PlListBox *listBox = dialog->getListBox();
    for (const FtsMode &choice : kModes) {
        auto *row = new PlListBoxItem(listBox, QString());
        row->appendSubItem(1, QString::fromLatin1(choice.rowText), false);
        listBox->insertItem(row, -1, true);
    }
    listBox->setFocus();
    selectCurrentMode(listBox);

    if (dialog->exec() == 1) {
        const int row = listBox->currentItem();
        listBox->checkItem(row, true);
        applyMode(row);
    }
}

KIVO_FTSAvailability::~KIVO_FTSAvailability() = default;

void KIVO_FTSAvailability::selectCurrentMode(PlListBox *listBox)
{
    const int row = clampedIndex(kivo_eng->kivo_mode);
    listBox->setSelected(row, true);
    listBox->checkItem(row, true);
}

void KIVO_FTSAvailability::applyMode(int row)
{
    PlConfig config(iniFilePath(), false);
    const FtsMode &choice = kModes[clampedIndex(row)];

    AM_SystemStateClient::instance();
    AM_SystemStateClient::postClientEvent(choice.event);

    std::fprintf(stderr, "values are %d %d ", kivo_eng->kivo_mode, choice.mode);
    if (kivo_eng->kivo_mode != choice.mode) {
        std::fprintf(stderr, "Going in");
        config.writeEntry(QString::fromLatin1(kSettingsGroup), QString::fromLatin1(kKeyKivoMode),
                          choice.mode);
    }
    kivo_eng->kivo_mode = choice.mode;
    showMessagePopup("FTS Options", choice.confirmation);
}
