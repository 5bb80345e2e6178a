#include "KIVO_CellChange.h"

#include "KIVO_Engine.h"
#include "KIVO_OnOffChoice.h"
#include "KIVO_Settings.h"
#include "PlScrollPanel.h"

namespace {

constexpr int kToneListWidth = 220;

// Row 0 is "On". The key is written only when the value changes.
void applyWarning(quint8 &field, const char *key, int row)
{
    const quint8 value = row == 0 ? 1 : 0;
    if (value == field) {
        return;
    }
    writeIntEntry(iniFilePath().toLocal8Bit().constData(), key, value);
    field = value;
}

} // namespace

KIVO_CellChange::KIVO_CellChange(QWidget *parent, const char *name)
    : KIVO_ListScreen(parent, name, "KIVO_CellChange", "Cell Change Warning",
                      {QStringLiteral("Message Warning"), QStringLiteral("Tone Warning")})
{
    show();
}

KIVO_CellChange::~KIVO_CellChange() = default;

void KIVO_CellChange::switchView(int row)
{
    if (row == 0) {
        ShowMessageWarning();
    } else {
        ShowToneWarning();
    }
}

void KIVO_CellChange::ShowMessageWarning()
{
    const int row = chooseOnOff(this, "ShowMessageWarning", getContentWidget(true)->width(),
                                kivo_eng->msg_warning_mode == 1);
    if (row >= 0) {
        applyMessageWarning(row);
    }
}

void KIVO_CellChange::ShowToneWarning()
{
    const int row =
        chooseOnOff(this, "ShowToneWarning", kToneListWidth, kivo_eng->tone_warning_mode == 1);
    if (row >= 0) {
        applyToneWarning(row);
    }
}

void KIVO_CellChange::applyMessageWarning(int row)
{
    applyWarning(kivo_eng->msg_warning_mode, kKeyMsgWarning, row);
}

void KIVO_CellChange::applyToneWarning(int row)
{
    applyWarning(kivo_eng->tone_warning_mode, kKeyToneWarning, row);
}
