// Linked into the bench programs only: watches the first window a program shows, and once it
// has been painted for the first time prints one line to stdout and ends the event loop:
//     frame_ns=<CLOCK_MONOTONIC at the first frame> vmhwm_kib=<peak resident size so far>
// The program then shuts down along its normal path. It installs itself when the application
// object is made, so the program's own main knows nothing of it.
#include <QCoreApplication>
#include <QEvent>
#include <QMetaObject>
#include <QObject>
#include <QWidget>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>

namespace {

class KIVO_FirstFrameProbe : public QObject {
public:
    explicit KIVO_FirstFrameProbe(QCoreApplication *app) : QObject(app)
    {
        app->installEventFilter(this);
    }

    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (event->type() == QEvent::Paint && !m_seen && watched->isWidgetType() &&
            static_cast<QWidget *>(watched)->isWindow()) {
            m_seen = true;
            // The window's paint event comes first; its children are painted and the window
            // flushed in the same call. A queued call runs once all of that is done.
            QMetaObject::invokeMethod(
                this, [this] { report(); }, Qt::QueuedConnection);
        }
        return QObject::eventFilter(watched, event);
    }

private:
    Q_DISABLE_COPY(KIVO_FirstFrameProbe)

    static long peakResidentKib()
    {
        long kib = -1;
        if (FILE *status = std::fopen("/proc/self/status", "r")) {
            char line[256];
            while (std::fgets(line, sizeof line, status)) {
                if (std::strncmp(line, "VmHWM:", 6) == 0) {
                    kib = std::strtol(line + 6, nullptr, 10);
                    break;
                }
            }
            std::fclose(status);
        }
        return kib;
    }

    void report()
    {
        timespec now;
        clock_gettime(CLOCK_MONOTONIC, &now);
        const long long ns = static_cast<long long>(now.tv_sec) * 1000000000LL + now.tv_nsec;
        std::printf("frame_ns=%lld vmhwm_kib=%ld\n", ns, peakResidentKib());
        std::fflush(stdout);
        QCoreApplication::quit();
    }

    bool m_seen = false;
};

// Owned by the application object, which deletes it.
void installFirstFrameProbe()
{
    new KIVO_FirstFrameProbe(QCoreApplication::instance());
}

} // namespace

Q_COREAPP_STARTUP_FUNCTION(installFirstFrameProbe)
