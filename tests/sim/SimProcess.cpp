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
    m_process.start(m_process.program(), arguments);
    QDBusConnectionInterface *bus = QDBusConnection::sessionBus().interface();
    // Owned by this run, not by one that is still on its way out.
    const auto settled = [&] {
        return m_process.state() == QProcess::NotRunning ||
               (m_process.state() == QProcess::Running &&
                bus->servicePid(m_busName).value() == uint(m_process.processId()));
    };
    if (!QTest::qWaitFor(settled, 10000) || m_process.state() != QProcess::Running) {
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
    // The bus notices the end a moment later; until then the names are still held, and their
    // release could reach the watchers of the next run.
    QDBusConnectionInterface *bus = QDBusConnection::sessionBus().interface();
    if (!m_uniqueName.isEmpty() &&
        !QTest::qWaitFor([&] { return !bus->isServiceRegistered(m_uniqueName); }, 10000)) {
        qWarning("%s is still on the bus", qPrintable(m_uniqueName));
    }
    m_uniqueName.clear();
}

QByteArray SimProcess::output()
{
    m_output += m_process.readAllStandardOutput();
    return m_output;
}
