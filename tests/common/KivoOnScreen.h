#pragma once

#include <QDBusConnection>
#include <QProcess>
#include <QStringList>
#include <QTemporaryDir>

struct _XDisplay;

// One of kivo's windows as a screen reader reads it.
struct WindowSeen {
    QString title;
    QStringList texts; // the names of everything in it that is no list row, in tree order
    QStringList rows;  // its list rows
};

// The kivo program itself, run as on a phone: on a private X server (Xvfb) with its own
// accessibility bus, read through AT-SPI and driven by key presses that the X server fakes
// (XTEST). A key goes out only while the X server is grabbed and its input focus is still the
// window that kivo's accessible tree showed active and newest: so no key reaches a window that
// has just closed or one that opened since the test looked. Every process it starts is ended by
// its PID; the test's own session bus (dbus-run-session) carries the accessibility bus's address.
class KivoOnScreen {
public:
    KivoOnScreen();
    ~KivoOnScreen();
    KivoOnScreen(const KivoOnScreen &) = delete;
    KivoOnScreen &operator=(const KivoOnScreen &) = delete;

    // Starts the X server, the accessibility bus and `program` with `environment` added to the
    // test's own (KIVO_ROOT, ...). False when a step failed (see error()); `*skip` says why the
    // test must skip instead (no Xvfb or accessibility bus launcher installed).
    bool start(const QString &program, const QProcessEnvironment &environment, QString *skip);

    // Waits up to `timeoutMs` until kivo's active window is its newest shown one, titled `title`,
    // with `text` among its texts or rows, and holds the X input focus; then presses `keys`
    // (X key names: "Down", "Return", "Escape", "F1", "6") on it. What it read is seen().
    bool pressOn(const QString &title, const QString &text, const QStringList &keys,
                 int timeoutMs = 30000);
    const WindowSeen &seen() const;
    // Presses `keys` once on every window with one of `titles` while it is the active and
    // newest one, until `count` such windows have come up and none is active any more.
    bool pressOnEach(const QStringList &titles, int count, const QStringList &keys,
                     int timeoutMs = 30000);
    // The windows with one of `titles` that came up, in that order, each as first read.
    QList<WindowSeen> shown(const QStringList &titles) const;

    // What went wrong last, and kivo's standard error so far.
    QString error() const;
    QByteArray kivoErrors();

private:
    bool readActiveWindow(WindowSeen *window);
    void walk(const QString &service, const QString &path, WindowSeen *window, int depth);
    bool focusTitled(const QString &title, unsigned long *focus);
    bool sendKeys(unsigned long focus, const QString &title, const QStringList &keys);
    void end(QProcess *process);

    QProcess m_xserver;
    QProcess m_a11yLauncher;
    QProcess m_kivo;
    _XDisplay *m_display = nullptr;
    QTemporaryDir m_runtimeDir; // the accessibility bus's socket
    QDBusConnection m_a11y{QString()};
    QString m_service; // kivo's name on the accessibility bus
    WindowSeen m_seen;
    QStringList m_shownPaths; // every window that came up, by its accessible path
    QList<WindowSeen> m_shown;
    QString m_error;
    QByteArray m_kivoErrors;
};
