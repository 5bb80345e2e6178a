#pragma once

#include "KIVO_Screen.h"

#include <QtGlobal>

class KIVO_Engine;
class PlListBox;

// What the favourites and visibles editors share: the title, one check row per FTS title
// as the content, the soft keys "Select" (toggles the current row) and "Back", and the turning
// of the rows into a bitmap. A top-level screen; the FTS Options screen owns each editor.
class KIVO_FtsEditor : public KIVO_Screen {
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
    // The end of a Back that changed `bitmap`: shows `notice`, traces `sentTrace` (a format
    // taking the bitmap), hands the bitmap to the engine's `send` and hides the editor. The
    // notice runs a nested event loop, after which the engine or the editor may be gone.
    void sendChange(const QString &notice, const char *sentTrace, quint64 bitmap,
                    void (KIVO_Engine::*send)(quint64));

    PlListBox *listBox = nullptr;

protected slots:
    virtual void slotBack() = 0;
    void slotKeySelect();

private:
    Q_DISABLE_COPY(KIVO_FtsEditor)
};
