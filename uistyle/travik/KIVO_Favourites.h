#pragma once

#include "KIVO_FtsEditor.h"

// "Edit Favourites": one check row per FTS title; Back sends the new favourites bitmap when
// any of its 64 bits changed. Owned by the FTS Options screen.
class KIVO_Favourites : public KIVO_FtsEditor {
    Q_OBJECT

public:
    KIVO_Favourites(QWidget *parent, const char *name);
    ~KIVO_Favourites() override;

public slots:
    void slotGetFavouriteListResp();

private slots:
    void slotBack() override;

private:
    Q_DISABLE_COPY(KIVO_Favourites)
};
