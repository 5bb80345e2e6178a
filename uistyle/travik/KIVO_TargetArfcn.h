#pragma once

#include "PlPopup.h"

class PlLineEdit;

// The "Arfcn" popup: the ARFCN the cell sticker is to be set on. "Set" keeps it in the engine
// and marks it entered (sticker state 1); the Cell Sticker screen sends the request. Shown
// without blocking; owned by the Cell Sticker screen.
class KIVO_TargetArfcn : public PlPopup {
    Q_OBJECT

public:
    // The popup has no parent and no name whatever is passed.
    KIVO_TargetArfcn(QWidget *parent, const char *name);
    ~KIVO_TargetArfcn() override;

private slots:
    void setTargetArfcn();
    void slotCancel();

private:
    Q_DISABLE_COPY(KIVO_TargetArfcn)
    PlLineEdit *arfcnEdit = nullptr;
};
