#pragma once

#include <QScrollArea>

// The content area of a screen: a scrolling panel whose viewport widget carries the screen's
// layout. A Qt child of its screen.
class PlScrollPanel : public QScrollArea {
    Q_OBJECT

public:
    explicit PlScrollPanel(QWidget *parent);
    ~PlScrollPanel() override;

    void enableClipper(bool enable);
    // The widget that holds the content (not QAbstractScrollArea's own viewport).
    QWidget *viewport() const;
    // Places `child` in the viewport at the grid position (row, column).
    void addChild(QWidget *child, int row, int column);

private:
    Q_DISABLE_COPY(PlScrollPanel)
    QWidget *m_viewport;
};
