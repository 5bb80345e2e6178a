#include "PlApplication.h"

#include <QEvent>
#include <QFont>
#include <QStyleFactory>

PlApplication::PlApplication(int &argc, char **argv, int type) : QApplication(argc, argv)
{
    Q_UNUSED(type);
    // Screens hide rather than close, so the loop ends only through quit() or the main widget.
    setQuitOnLastWindowClosed(false);
    if (QStyle *style = QStyleFactory::create(QStringLiteral("Fusion"))) {
        setStyle(style);
    }
    QFont font = this->font();
    font.setPixelSize(14);
    setFont(font);
}

PlApplication::~PlApplication() = default;

void PlApplication::setMainWidget(QWidget *widget)
{
    if (m_mainWidget) {
        m_mainWidget->removeEventFilter(this);
    }
    m_mainWidget = widget;
    if (widget) {
        widget->installEventFilter(this);
    }
}

QWidget *PlApplication::mainWidget() const
{
    return m_mainWidget;
}

bool PlApplication::eventFilter(QObject *watched, QEvent *event)
{
    // Closing the main window (a window manager's close button) ends the program like Exit.
    if (watched == m_mainWidget && event->type() == QEvent::Close) {
        quit();
    }
    return QApplication::eventFilter(watched, event);
}
