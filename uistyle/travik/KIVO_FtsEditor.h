#pragma once

#include "PlKbMainWidget.h"

#include <QtGlobal>

class PlListBox;

// What the favourites and visibles editors share: the title, one check row per FTS title
// as the content, the soft keys "Select" (toggles the current row) and "Back", and the turning
// of the rows into a bitmap. A top-level screen; the FTS Options screen owns each editor.
class KIVO_FtsEditor : public PlKbMainWidget {
    Q_OBJECT

public:
    ~KIVO_FtsEditor() override;

protected:
    // The title is translated in `context`, the editor's class name.
    KIVO_FtsEditor(QWidget *parent, const char *name, const char *context, const char *title);

    // Replaces the rows with one per title the engine holds, checked where `bitmap` has the
    // title's bit, and gives the list the focus. The current row stays where it was (the first row
    // when there was none).
    void fillRows(quint64 bitmap);
    // The bitmap of the checked rows; each checked row is traced with `checkedTrace` (a
    // format taking the row). Rows from 64 on are traced but have no bit.
    quint64 checkedBitmap(const char *checkedTrace) const;

    PlListBox *listBox = nullptr;

protected slots:
    virtual void slotBack() = 0;
    void slotKeySelect();

private:
    Q_DISABLE_COPY(KIVO_FtsEditor)
};
