#include "KIVO_TargetArfcn.h"

#include "KIVO_Engine.h"
#include "PlLabel.h"
#include "PlLineEdit.h"
#include "PlSoftKey.h"

#include <QIntValidator>

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
    // Prefilled only while a sticker is stored.
    if (kivo_eng->stickerMachine()->loadEntry()) {
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
    kivo_eng->stickerMachine()->enterArfcn(arfcnEdit->text().toLatin1());
    hide();
}

void KIVO_TargetArfcn::slotCancel()
{
    hide();
}
