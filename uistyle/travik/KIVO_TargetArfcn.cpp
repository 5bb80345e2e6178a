#include "KIVO_TargetArfcn.h"

#include "KIVO_Engine.h"
#include "KIVO_Settings.h"
#include "PlLabel.h"
#include "PlLineEdit.h"
#include "PlSoftKey.h"

#include <QIntValidator>

#include <algorithm>
#include <climits>
#include <cstdio>
#include <cstdlib>

namespace {

constexpr int kDigitsInputMode = 6;

} // namespace

KIVO_TargetArfcn::KIVO_TargetArfcn(QWidget *parent, const char *name)
    : PlPopup(0, nullptr, nullptr, false, 0, 0)
{
    Q_UNUSED(parent);
    Q_UNUSED(name);
    setTitle(QStringLiteral("Arfcn"));

    auto *label = new PlLabel(this, nullptr, 0, 85);
    label->setText(QStringLiteral("Enter ARFCN"));
    insertChild(label, -1);

    arfcnEdit = new PlLineEdit(this, nullptr, 39);
    arfcnEdit->getInputField()->setInputMode(kDigitsInputMode);
    // Prefilled only while a sticker is stored; the file's value is the one shown.
    if (kivo_eng->storedArfcn != -1) {
        kivo_eng->arfcn =
            readIntEntry(iniFilePath().toLocal8Bit().constData(), kKeyStoredArfcn, -1);
        std::fprintf(stderr, "\nStored arfcn = %d", kivo_eng->arfcn);
        arfcnEdit->setText(QString::asprintf("%d", kivo_eng->arfcn));
    }
    // Any integer, negative ones included: the telephony layer judges the ARFCN.
    arfcnEdit->setValidator(new QIntValidator(arfcnEdit));
    insertChild(arfcnEdit, -1);

    PlSoftKey *keys = getSoftKey();
    keys->setText(0, tr("Set"), 0);
    keys->setClickedSlot(0, this, &KIVO_TargetArfcn::setTargetArfcn);
    keys->setText(1, tr("Cancel"), 0);
    keys->setClickedSlot(1, this, &KIVO_TargetArfcn::slotCancel);
}

KIVO_TargetArfcn::~KIVO_TargetArfcn() = default;

void KIVO_TargetArfcn::setTargetArfcn()
{
    // No end check: an empty text gives 0, and anything after the digits is ignored. The
    // result is clamped to int as a 32-bit long would be.
    const QByteArray text = arfcnEdit->text().toLatin1();
    const long value = std::strtol(text.constData(), nullptr, 10);
    kivo_eng->arfcn = static_cast<int>(std::clamp<long>(value, INT_MIN, INT_MAX));
    kivo_eng->prevCellStickerState = kivo_eng->cellStickerState;
    kivo_eng->cellStickerState = 1;
    std::fprintf(stderr, "value of stored arfcn = %d", kivo_eng->arfcn);
    writeIntEntry(iniFilePath().toLocal8Bit().constData(), kKeyStickerState, 1);
    hide();
}

void KIVO_TargetArfcn::slotCancel()
{
    hide();
}
