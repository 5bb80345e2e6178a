#pragma once

#include <QPointer>
#include <QWidget>

class QLabel;
class QVBoxLayout;
class PlScrollPanel;
class PlSoftKey;

// A phone screen: a top-level window with the title area on top, the content in the middle
// and the soft-key bar below. The hardware keys reach the content and the soft keys from
// anywhere in the screen. Screens have no Qt parent; whoever creates one deletes it.
class PlMainWidget : public QWidget {
    Q_OBJECT

public:
    PlMainWidget(QWidget *parent, const char *name, int flags);
    ~PlMainWidget() override;

    // The scroll panel of the content area; made on first use when `create` is true.
    PlScrollPanel *getContentWidget(bool create);
    // Makes `widget` the content: a widget laid out inside the scroll panel keeps the panel,
    // any other takes the panel's place. The content takes the focus when the screen shows.
    void setContentWidget(QWidget *widget);
    QWidget *contentWidget() const;
    void setCSTWidget(PlSoftKey *softKey);
    PlSoftKey *softKey() const;

    void setVisible(bool visible) override;

    // Gives the focus back to the most recently shown screen that is still visible (or to an
    // open modal popup); called whenever a screen or popup hides.
    static void restoreFocus();

protected:
    void keyPressEvent(QKeyEvent *event) override;
    // The application's one title, shown by every screen.
    static void applyAppTitle(const QString &title);
    static QString appTitle();

private:
    Q_DISABLE_COPY(PlMainWidget)
    void focusContent();

    QVBoxLayout *m_layout = nullptr;
    QLabel *m_titleArea = nullptr;
    QPointer<PlScrollPanel> m_panel;
    QPointer<QWidget> m_content;
    QPointer<PlSoftKey> m_softKey;
};
