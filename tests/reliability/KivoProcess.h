#pragma once

#include "KIVO_CellBar.h"
#include "PlListBox.h"
#include "QCopChannel.h"
#include "TelephonyPeer.h"

#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QTest>

// The kivo program itself on the test's bus (or none), under the test's root; killed by its
// PID when the object goes.
class KivoProcess {
public:
    explicit KivoProcess(const QString &root)
    {
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("KIVO_ROOT"), root);
        environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        environment.remove(QStringLiteral("VEK_APP_WRITE_PATH"));
        m_process.setProcessEnvironment(environment);
    }
    ~KivoProcess()
    {
        m_process.kill();
        m_process.waitForFinished(10000);
    }
    // Starts KIVO and waits until it has tried to register.
    bool start()
    {
        m_process.start(QStringLiteral(KIVO_BINARY), {});
        return m_process.waitForStarted(10000) &&
               QTest::qWaitFor([this] { return traces().contains("value of kivo_tapi"); }, 20000);
    }
    // Starts KIVO, sees it register with `peer` and handle a message.
    bool startWith(TelephonyPeer &peer)
    {
        peer.answer({1});
        return peer.claimName() && start() &&
               QTest::qWaitFor([&] { return peer.lastCall().member() == "Register"; }, 10000) &&
               handles("registered");
    }
    bool isRunning() const
    {
        return m_process.state() == QProcess::Running;
    }
    const QByteArray &traces()
    {
        m_traces += m_process.readAllStandardError();
        return m_traces;
    }
    // Sends a message on "kivo_listen_channel" and waits for KIVO to trace it.
    bool handles(const QByteArray &marker)
    {
        QCopChannel::send("kivo_listen_channel", marker, QByteArray());
        const QByteArray trace = "Received data from channel " + marker;
        return QTest::qWaitFor([&] { return traces().contains(trace) || !isRunning(); }, 60000) &&
               isRunning();
    }
    // A figure of /proc/PID/status in kB ("VmRSS", "VmStk"); 0 when it cannot be read.
    qint64 statusKb(const QString &field) const
    {
        QFile status(QStringLiteral("/proc/%1/status").arg(m_process.processId()));
        const QRegularExpression figure(field + QStringLiteral(":\\s+(\\d+)"));
        return status.open(QIODevice::ReadOnly)
                   ? figure.match(QString::fromLatin1(status.readAll())).captured(1).toLongLong()
                   : 0;
    }

private:
    QProcess m_process;
    QByteArray m_traces;
};

// Opens "Cell Bar Access" with mode 2 current and sets the mode above it.
inline bool chooseCellBarMode(KIVO_CellBar &screen)
{
    screen.show();
    const bool shown =
        QTest::qWaitFor([&] { return screen.findChild<PlListBox *>()->currentItem() == 2; });
    QTest::keyClick(&screen, Qt::Key_Up);
    QTest::keyClick(&screen, Qt::Key_F1);
    return shown;
}
