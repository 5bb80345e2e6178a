#pragma once

#include "KIVO_Screen.h"

#include <QByteArray>
#include <QStringList>

#include <memory>

class PlListBox;

// The common list screen every menu follows: a titled window with a list of rows, the soft key
// "Back" on the right, one owned child screen per row, rebuilt each time its row is chosen,
// and a Back that only hides the screen and puts the opener's title back.
class KIVO_ListScreen : public KIVO_Screen {
    Q_OBJECT

public:
    ~KIVO_ListScreen() override;

protected:
    // `name` is the opener's title. The title is translated in `context`, the class's name.
    KIVO_ListScreen(QWidget *parent, const char *name, const char *context, const char *title,
                    const QStringList &rows);

    PlListBox *listBox() const;
    const char *ownTitle() const;

    // Deletes the screen held in `slot` (shown or hidden), builds a fresh top-level one with
    // this screen's title as its name and `args` after it, keeps it and shows it.
    template <typename Screen, typename... Args>
    void openChild(std::unique_ptr<Screen> &slot, Args... args)
    {
        slot.reset();
        slot = std::make_unique<Screen>(nullptr, ownTitle(), args...);
        slot->show();
    }

    // Sets the text of the right soft key (index 1), "Back" unless a screen says otherwise.
    void setBackKeyText(const QString &text);

protected slots:
    virtual void slotBack();
    virtual void switchView(int row) = 0;

private:
    Q_DISABLE_COPY(KIVO_ListScreen)
    PlListBox *m_list = nullptr;
    QByteArray m_ownTitle;
};
