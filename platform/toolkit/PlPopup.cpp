#include "PlPopup.h"

#include "PlMainWidget.h"
#include "PlSoftKey.h"

#include <QApplication>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QScreen>
#include <QVBoxLayout>

PlPopup::PlPopup(int type, QWidget *parent, const char *name, bool modal, int arg, int flags)
    : QDialog(parent)
{
    Q_UNUSED(type);
    Q_UNUSED(arg);
    Q_UNUSED(flags);
    if (name) {
        setObjectName(QString::fromLatin1(name));
    }
    setModal(modal);
    setStyleSheet(QStringLiteral("PlPopup { background: #f4f6f9; border: 2px solid #1f2a38; }"
                                 "QLabel#PlPopupTitle { background: #1f2a38; color: white; "
                                 "font-weight: bold; padding: 3px; }"));

    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(4);
    auto *titleRow = new QHBoxLayout;
    titleRow->setSpacing(0);
    m_icon = new QLabel(this);
    m_icon->hide();
    m_title = new QLabel(this);
    m_title->setObjectName(QStringLiteral("PlPopupTitle"));
    m_title->setAlignment(Qt::AlignCenter);
    m_title->hide();
    titleRow->addWidget(m_icon);
    titleRow->addWidget(m_title, 1);
    layout->addLayout(titleRow);

    m_instruct = new QLabel(this);
    m_instruct->setObjectName(QStringLiteral("PlPopupText"));
    m_instruct->setWordWrap(true);
    m_instruct->setAlignment(Qt::AlignCenter);
    m_instruct->setContentsMargins(8, 4, 8, 4);
    m_instruct->hide();
    layout->addWidget(m_instruct);

    m_children = new QVBoxLayout;
    m_children->setContentsMargins(6, 0, 6, 0);
    layout->addLayout(m_children, 1);

    m_softKey = new PlSoftKey("CST_2A", this, this);
    layout->addWidget(m_softKey);

    // Popups fit a phone screen.
    setMinimumWidth(200);
    setMaximumWidth(236);
}

PlPopup::~PlPopup() = default;

void PlPopup::setTitle(const QString &title)
{
    m_title->setText(title);
    // A popup without a title (the timed notices) shows no empty title band.
    m_title->setVisible(!title.isEmpty());
    setWindowTitle(title);
}

QString PlPopup::title() const
{
    return m_title->text();
}

void PlPopup::setTitleIcon(const QPixmap &icon)
{
    m_icon->setPixmap(icon);
    m_icon->setVisible(!icon.isNull());
}

void PlPopup::setInstructText(const QString &text)
{
    m_instruct->setText(text);
    m_instruct->setVisible(!text.trimmed().isEmpty());
    m_instruct->setAccessibleName(text);
}

QString PlPopup::instructText() const
{
    return m_instruct->text();
}

void PlPopup::insertChild(QWidget *child, int position)
{
    if (!child) {
        return;
    }
    child->setParent(this);
    if (position < 0 || position > m_children->count()) {
        position = m_children->count();
    }
    m_children->insertWidget(position, child);
    child->show();
}

PlSoftKey *PlPopup::getSoftKey() const
{
    return m_softKey;
}

void PlPopup::setVisible(bool visible)
{
    if (visible) {
        adjustSize();
        // Centre over the most recent screen (the parent when there is one).
        QWidget *over = parentWidget() ? parentWidget()->window() : nullptr;
        if (!over) {
            over = QApplication::activeWindow();
        }
        if (over && over != this) {
            const QRect area = over->geometry();
            move(area.center().x() - width() / 2, area.center().y() - height() / 2);
        }
    }
    QDialog::setVisible(visible);
    if (visible) {
        raise();
        activateWindow();
    } else {
        PlMainWidget::restoreFocus();
    }
}

void PlPopup::keyPressEvent(QKeyEvent *event)
{
    const int softKeyIndex = PlSoftKey::keyIndex(event->key());
    if (softKeyIndex >= 0) {
        softKeyPressed(softKeyIndex);
        return;
    }
    switch (event->key()) {
    case Qt::Key_Return:
    case Qt::Key_Enter:
    case Qt::Key_Select:
        acceptKey();
        return;
    default:
        QDialog::keyPressEvent(event);
        return;
    }
}

void PlPopup::acceptKey()
{
    softKeyPressed(0);
}

void PlPopup::softKeyPressed(int index)
{
    m_softKey->trigger(index);
}
