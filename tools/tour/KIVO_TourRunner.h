#pragma once

#include <QDir>
#include <QList>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QStringList>

#include <cstdio>
#include <functional>

class PlMainWidget;
class QImage;

// Walks KIVO's screens and popups as a user does. Each step waits until the expected window is
// in front (a screen, or a popup over one), saves a numbered picture of it if the step is
// named, then runs its action, which presses keys where the keyboard focus is. A modal popup
// runs a nested event loop inside the key press that opened it, so every step is started by a
// fresh single-shot timer, which fires inside such loops too; the next step is scheduled
// before an action runs.
class KIVO_TourRunner : public QObject {
    Q_OBJECT

public:
    // The window a step waits for: its class, its title and, for a popup, a piece of its text.
    struct Front {
        QByteArray className;
        QString title;
        QString text;
    };
    using Action = std::function<void()>;

    // Pictures go to `outputDir`; progress to `progress`, failures to `errors`.
    KIVO_TourRunner(const QString &outputDir, FILE *progress, FILE *errors);
    ~KIVO_TourRunner() override;

    // Waits for `front`; saves NN-`name`.png when `name` is not empty; then runs `action`.
    void step(const QString &name, const Front &front, Action action = {});
    // Waits until `ready` holds (`what` names it in a failure), then runs `action`.
    void when(const QString &what, std::function<bool()> ready, Action action);

    // Keys where the keyboard focus is, one after the other. Only the last one may open a
    // modal popup: the keys after one would wait until it closes.
    void press(const QList<int> &keys);
    // Text typed where the keyboard focus is.
    void type(const QString &text);
    // Ends the tour with a failure: the message, and every event loop told to end.
    void fail(const QString &message);

    void start();
    bool failed() const;
    // True once every step has run.
    bool finished() const;
    const QStringList &savedFiles() const;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    Q_DISABLE_COPY(KIVO_TourRunner)
    struct Step {
        QString name;
        Front front;
        Action action;
        // A step waits for its front window, or else for `ready`.
        bool waitsForFront = true;
        std::function<bool()> ready;
        QString what;
    };

    void scheduleNext(int delayMs);
    void runStep();
    bool stepReady(const Step &step, QWidget *window) const;
    QWidget *frontWindow() const;
    bool matches(QWidget *window, const Front &front) const;
    QString describe(QWidget *window) const;
    QWidget *focusTarget() const;
    PlMainWidget *screenUnder(QWidget *popup) const;
    QImage picture(QWidget *window);
    QStringList unfitTexts(QWidget *window) const;
    void save(const Step &step, QWidget *window);

    QDir m_outputDir;
    FILE *m_progress;
    FILE *m_errors;
    QList<Step> m_steps;
    int m_next = 0;
    int m_shots = 0;
    int m_waitedMs = 0;
    bool m_seenOnce = false;
    bool m_failed = false;
    QStringList m_saved;
    // Screens in the order they were last shown, to find the one under a popup.
    QList<QPointer<PlMainWidget>> m_shownScreens;
};
