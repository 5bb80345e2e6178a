#include "PlNoticeDlg.h"

#include "PlSoftKey.h"

#include <QTimer>

PlNoticeDlg::PlNoticeDlg(int type, const QString &title, const QString &text, QWidget *parent,
                         const char *name, bool modal, int flags)
    : PlPopup(type, parent, name, modal, 0, flags)
{
    setTitle(title);
    setMessageText(text);
    // This notice waits for the user: the left key names the way out, as a message does.
    getSoftKey()->setText(0, tr("OK"), 0);
}

PlNoticeDlg::PlNoticeDlg(int type, unsigned int duration, const QString &text, const char *title,
                         QWidget *parent, const char *name, bool modal, int flags)
    : PlPopup(type, parent, name, modal, 0, flags)
{
    setTitle(title ? QString::fromLatin1(title) : QString());
    setMessageText(text);
    // A timed notice goes by itself; an empty key bar would only take room.
    getSoftKey()->hide();
    m_timer = new QTimer(this);
    m_timer->setSingleShot(true);
    m_timer->setInterval(static_cast<int>(qMin(duration, 3600000u)));
    connect(m_timer, &QTimer::timeout, this, [this] { accept(); });
}

PlNoticeDlg::~PlNoticeDlg() = default;

void PlNoticeDlg::setMessageText(const QString &text)
{
    setInstructText(text);
}

void PlNoticeDlg::setVisible(bool visible)
{
    PlPopup::setVisible(visible);
    if (m_timer) {
        if (visible) {
            m_timer->start();
        } else {
            m_timer->stop();
        }
    }
}

void PlNoticeDlg::acceptKey()
{
    accept();
}

void PlNoticeDlg::softKeyPressed(int index)
{
    Q_UNUSED(index);
    accept();
}
