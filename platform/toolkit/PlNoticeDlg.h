#pragma once

#include "PlPopup.h"

class QTimer;

// A modal notice: a short text, closed by any key, and with a duration also by itself.
class PlNoticeDlg : public PlPopup {
    Q_OBJECT

public:
    PlNoticeDlg(int type, const QString &title, const QString &text, QWidget *parent = nullptr,
                const char *name = nullptr, bool modal = true, int flags = 0);
    // Closes itself `duration` milliseconds after it shows.
    PlNoticeDlg(int type, unsigned int duration, const QString &text, const char *title,
                QWidget *parent, const char *name, bool modal, int flags);
    ~PlNoticeDlg() override;

    void setMessageText(const QString &text);

    void setVisible(bool visible) override;

protected:
    void acceptKey() override;
    void softKeyPressed(int index) override;

private:
    Q_DISABLE_COPY(PlNoticeDlg)
    QTimer *m_timer = nullptr;
};
