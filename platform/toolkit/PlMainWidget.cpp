#include "PlMainWidget.h"

#include "PlListBox.h"
#include "PlScrollPanel.h"
#include "PlSoftKey.h"

#include <QApplication>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QScreen>
#include <QVBoxLayout>

namespace {

// Every screen alive, and the shown ones in the order they were last shown.
QList<PlMainWidget *> s_screens;
QList<QPointer<PlMainWidget>> s_shownOrder;
QString s_appTitle;

constexpr int kScreenWidth = 240;
constexpr int kScreenHeight = 320;

// On a phone's own display the screen fills it; elsewhere it is phone-sized.
bool fillsDisplay()
{
    const QString platform = QGuiApplication::platformName();
    return platform == QLatin1String("linuxfb") || platform == QLatin1String("eglfs");
}

} // namespace

PlMainWidget::PlMainWidget(QWidget *parent, const char *name, int flags)
    : QWidget(parent, Qt::Window)
{
    Q_UNUSED(flags);
    if (name) {
        setObjectName(QString::fromLatin1(name));
    }
    if (fillsDisplay() && QGuiApplication::primaryScreen()) {
        setGeometry(QGuiApplication::primaryScreen()->geometry());
    } else {
        resize(kScreenWidth, kScreenHeight);
    }
    m_layout = new QVBoxLayout(this);
    m_layout->setContentsMargins(0, 0, 0, 0);
    m_layout->setSpacing(0);

    m_titleArea = new QLabel(this);
    m_titleArea->setObjectName(QStringLiteral("PlTitleArea"));
    m_titleArea->setAlignment(Qt::AlignCenter);
    m_titleArea->setMinimumHeight(28);
    m_titleArea->setStyleSheet(QStringLiteral("QLabel#PlTitleArea { background: #1f2a38; "
                                              "color: white; font-weight: bold; "
                                              "padding: 3px; }"));
    m_layout->addWidget(m_titleArea);
    m_layout->addStretch(1);

    s_screens.append(this);
    m_titleArea->setText(s_appTitle);
    setWindowTitle(s_appTitle);
}

PlMainWidget::~PlMainWidget()
{
    s_screens.removeAll(this);
    s_shownOrder.removeAll(QPointer<PlMainWidget>(this));
}

PlScrollPanel *PlMainWidget::getContentWidget(bool create)
{
    if (!m_panel && create) {
        m_panel = new PlScrollPanel(this);
        // The content sits between the title area and the soft keys.
        m_layout->insertWidget(1, m_panel, 1);
        if (m_layout->count() > 2 && m_layout->itemAt(2)->spacerItem()) {
            delete m_layout->takeAt(2);
        }
    }
    return m_panel;
}

void PlMainWidget::setContentWidget(QWidget *widget)
{
    m_content = widget;
    if (!widget) {
        return;
    }
    if (m_panel && m_panel->viewport()->isAncestorOf(widget)) {
        return;
    }
    // The widget takes the place of the panel (or of the empty middle).
    if (m_panel) {
        m_panel->hide();
    }
    widget->setParent(this);
    m_layout->insertWidget(1, widget, 1);
    if (m_layout->count() > 2 && m_layout->itemAt(2)->spacerItem()) {
        delete m_layout->takeAt(2);
    }
    widget->show();
}

QWidget *PlMainWidget::contentWidget() const
{
    return m_content;
}

void PlMainWidget::setCSTWidget(PlSoftKey *softKey)
{
    if (m_softKey && m_softKey != softKey) {
        m_layout->removeWidget(m_softKey);
        m_softKey->hide();
    }
    m_softKey = softKey;
    if (softKey) {
        softKey->setParent(this);
        m_layout->addWidget(softKey);
        softKey->show();
    }
}

PlSoftKey *PlMainWidget::softKey() const
{
    return m_softKey;
}

void PlMainWidget::setVisible(bool visible)
{
    QWidget::setVisible(visible);
    if (visible) {
        s_shownOrder.removeAll(QPointer<PlMainWidget>(this));
        s_shownOrder.append(this);
        raise();
        activateWindow();
        focusContent();
    } else {
        restoreFocus();
    }
}

void PlMainWidget::restoreFocus()
{
    // An open modal popup keeps the keys.
    if (QWidget *modal = QApplication::activeModalWidget()) {
        if (modal->isVisible()) {
            modal->raise();
            modal->activateWindow();
            return;
        }
    }
    for (int i = s_shownOrder.size() - 1; i >= 0; --i) {
        PlMainWidget *screen = s_shownOrder.at(i);
        if (screen && screen->isVisible()) {
            screen->raise();
            screen->activateWindow();
            screen->focusContent();
            return;
        }
    }
}

void PlMainWidget::focusContent()
{
    if (m_content && m_content->isVisibleTo(this)) {
        m_content->setFocus(Qt::OtherFocusReason);
    } else {
        setFocus(Qt::OtherFocusReason);
    }
}

void PlMainWidget::keyPressEvent(QKeyEvent *event)
{
    const int softKeyIndex = PlSoftKey::keyIndex(event->key());
    if (softKeyIndex >= 0) {
        if (m_softKey) {
            m_softKey->trigger(softKeyIndex);
        }
        return;
    }
    switch (event->key()) {
    case Qt::Key_Up:
    case Qt::Key_Down:
    case Qt::Key_Return:
    case Qt::Key_Enter:
    case Qt::Key_Select:
        // Keys sent to the screen itself reach its list, as if the list had the focus.
        if (auto *list = qobject_cast<PlListBox *>(m_content.data())) {
            list->handleKey(event);
            return;
        }
        break;
    default:
        break;
    }
    QWidget::keyPressEvent(event);
}

void PlMainWidget::applyAppTitle(const QString &title)
{
    s_appTitle = title;
    for (PlMainWidget *screen : std::as_const(s_screens)) {
        screen->m_titleArea->setText(title);
        screen->setWindowTitle(title);
    }
}

QString PlMainWidget::appTitle()
{
    return s_appTitle;
}
