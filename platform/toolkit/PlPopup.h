#pragma once

#include <QDialog>
#include <QPixmap>

class QLabel;
class QVBoxLayout;
class PlSoftKey;

// A popup window: title (also its window title), title icon, an instruct text, children
// inserted in order, and a soft-key bar. Modal popups run exec(); the hardware keys work the
// soft keys. Whoever creates a popup deletes it.
class PlPopup : public QDialog {
    Q_OBJECT

public:
    PlPopup(int type, QWidget *parent, const char *name, bool modal, int arg, int flags);
    ~PlPopup() override;

    void setTitle(const QString &title);
    QString title() const;
    void setTitleIcon(const QPixmap &icon);
    void setInstructText(const QString &text);
    QString instructText() const;
    // Inserts `child` at `position` among the popup's children (-1 appends).
    void insertChild(QWidget *child, int position);
    PlSoftKey *getSoftKey() const;

    void setVisible(bool visible) override;

protected:
    void keyPressEvent(QKeyEvent *event) override;
    // Return, Enter and Select; by default they work soft key 0.
    virtual void acceptKey();
    // The left and right keys (F1/Context1 and F2/Context2/Escape/Back).
    virtual void softKeyPressed(int index);

private:
    Q_DISABLE_COPY(PlPopup)
    QLabel *m_title;
    QLabel *m_icon;
    QLabel *m_instruct;
    QVBoxLayout *m_children;
    PlSoftKey *m_softKey;
};
