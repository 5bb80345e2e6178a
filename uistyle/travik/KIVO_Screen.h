#pragma once

#include "PlKbMainWidget.h"
#include "PlSoftKey.h"

#include <QByteArray>

// What every KIVO screen shares: a top-level window without a Qt parent whose name is the
// title of the screen that opened it; closing it hides it and puts that title back. Owned by
// the screen that built it.
class KIVO_Screen : public PlKbMainWidget {
    Q_OBJECT

public:
    ~KIVO_Screen() override;

protected:
    KIVO_Screen(QWidget *parent, const char *name);

    // Hides the screen and shows the opener's title again; the screen stays until its opener
    // replaces it or goes.
    void closeScreen();

    // Sets soft key `index` (0 left, 1 right) to `text`, to call `slot` when triggered. The
    // first key set installs the screen's soft-key bar.
    template <typename Screen>
    void setSoftKey(int index, const QString &text, void (Screen::*slot)())
    {
        PlSoftKey *keys = softKeyBar();
        keys->setText(index, text, 0);
        keys->setClickedSlot(index, static_cast<Screen *>(this), slot);
    }

private:
    Q_DISABLE_COPY(KIVO_Screen)
    PlSoftKey *softKeyBar();

    QByteArray m_openerTitle;
};
