#pragma once

#include <QObject>
#include <QPointer>
#include <QQueue>
#include <QStringList>
#include <QTimer>

class PlPopup;

// What a test saw of one modal popup.
struct PopupSeen {
    QString className;
    QString title;
    QString text;
    QStringList rows;
    QList<bool> checked;
    int currentRow = -1;
};

// Watches for modal popups while a test drives the program (they run nested event loops),
// records each one's title, text and rows, and answers it as planned: the next queued answer,
// or Escape when none is queued.
class PopupWatcher : public QObject {
    Q_OBJECT

public:
    enum class Answer {
        Accept, // Return: accept a choice, close a message
        Cancel, // Escape
        Leave,  // leave the popup open (a notice that closes itself)
    };

    PopupWatcher();

    // Queue an answer for the next popup; with a row, a choice dialog first moves there.
    void answer(Answer answer, int row = -1);

    const QList<PopupSeen> &seen() const;
    // Waits until `count` popups have been seen in all.
    bool waitForCount(int count, int timeoutMs = 5000);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void poll();

    QTimer m_timer;
    QList<QPointer<PlPopup>> m_shown;         // in the order they were shown
    QQueue<std::pair<Answer, int>> m_planned; // answer, row
    QList<PopupSeen> m_seen;
    QList<QPointer<PlPopup>> m_handled;
};
