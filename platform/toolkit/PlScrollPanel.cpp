#include "PlScrollPanel.h"

#include <QGridLayout>

PlScrollPanel::PlScrollPanel(QWidget *parent) : QScrollArea(parent), m_viewport(new QWidget)
{
    setFrameShape(QFrame::NoFrame);
    setWidgetResizable(true);
    setFocusPolicy(Qt::NoFocus);
    m_viewport->setObjectName(QStringLiteral("PlScrollPanelViewport"));
    setWidget(m_viewport);
}

PlScrollPanel::~PlScrollPanel() = default;

void PlScrollPanel::enableClipper(bool enable)
{
    Q_UNUSED(enable);
}

QWidget *PlScrollPanel::viewport() const
{
    return m_viewport;
}

void PlScrollPanel::addChild(QWidget *child, int row, int column)
{
    auto *grid = qobject_cast<QGridLayout *>(m_viewport->layout());
    if (!grid && !m_viewport->layout()) {
        grid = new QGridLayout(m_viewport);
        grid->setContentsMargins(0, 0, 0, 0);
    }
    if (grid) {
        grid->addWidget(child, row, column);
    } else {
        m_viewport->layout()->addWidget(child);
    }
    child->show();
}
