#include "SimProcess.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QTest>

#include <signal.h>

SimProcess::SimProcess(const QString &program, const QString &busName) : m_busName(busName)
{
    m_process.setProgram(program);
    // The simulator's complaints show in the test log.
    m_process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
}

SimProcess::~SimProcess()
{
    stop();
}

bool SimProcess::start(const QStringList &arguments)
{
    m_process.setArguments(arguments);
    m_process.start();
    if (!m_process.waitForStarted(10000)) {
        return false;
    }
    QDBusConnectionInterface *bus = QDBusConnection::sessionBus().interface();
    const bool timedOut = !QTest::qWaitFor(
        [&] {
            return m_process.state() != QProcess::Running || bus->isServiceRegistered(m_busName);
        },
        10000);
    if (timedOut || m_process.state() != QProcess::Running) {
        return false;
    }
    m_uniqueName = bus->serviceOwner(m_busName);
    return !m_uniqueName.isEmpty();
}

void SimProcess::stop()
{
    if (m_process.state() != QProcess::NotRunning) {
        ::kill(pid_t(m_process.processId()), SIGTERM);
        m_process.waitForFinished(10000);
    }
    waitUntilOffBus();
}

bool SimProcess::waitForCleanExit()
{
    if (m_process.state() != QProcess::NotRunning && !m_process.waitForFinished(10000)) {
        return false;
    }
    waitUntilOffBus();
    return m_process.exitStatus() == QProcess::NormalExit && m_process.exitCode() == 0;
}

QByteArray SimProcess::output()
{
    m_output += m_process.readAllStandardOutput();
    return m_output;
}

void SimProcess::waitUntilOffBus()
{
    // The bus notices the end a moment after the process has ended; until then the names are
    // still held, and their release could reach the watchers of the next run.
    if (m_uniqueName.isEmpty()) {
        return;
    }
    QDBusConnectionInterface *bus = QDBusConnection::sessionBus().interface();
    if (!QTest::qWaitFor([&] { return !bus->isServiceRegistered(m_uniqueName); }, 10000)) {
        qWarning("%s is still on the bus", qPrintable(m_uniqueName));
    }
    m_uniqueName.clear();
}
