#pragma once

#include "KIVO_FtsEditor.h"

// "Edit Visibles": one check row per FTS title; Back sends the new visibles bitmap when a bit
// of an existing title changed. Owned by the FTS Options screen.
class KIVO_Visibles : public KIVO_FtsEditor {
    Q_OBJECT

public:
    KIVO_Visibles(QWidget *parent, const char *name);
    ~KIVO_Visibles() override;

public slots:
    void slotGetVisibleListResp();

private slots:
    void slotBack() override;

private:
    Q_DISABLE_COPY(KIVO_Visibles)
};
