#include "KIVO_TourStage.h"

#include "KIVO_FeatureFlag.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QThread>

namespace {

constexpr int kStartTimeoutMs = 10000;
constexpr int kControlTimeoutMs = 5000;
const char s_controlPath[] = "/org/kivo/Sim";

bool writeFile(const QString &path, const QByteArray &content)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    return file.open(QIODevice::WriteOnly | QIODevice::Truncate) &&
           file.write(content) == content.size();
}

// Waits until every name has an owner on the bus, or the program has ended.
bool waitForNames(const QProcess &process, const QStringList &names)
{
    QDBusConnectionInterface *bus = QDBusConnection::sessionBus().interface();
    if (!bus) {
        return false;
    }
    QDeadlineTimer deadline(kStartTimeoutMs);
    while (!deadline.hasExpired() && process.state() == QProcess::Running) {
        bool all = true;
        for (const QString &name : names) {
            all = all && bus->isServiceRegistered(name).value();
        }
        if (all) {
            return true;
        }
        QThread::msleep(10);
    }
    return false;
}

bool controlCall(const QString &service, const QString &method, const QVariantList &arguments,
                 QString *error)
{
    QDBusMessage call =
        QDBusMessage::createMethodCall(service, QLatin1String(s_controlPath), service, method);
    call.setArguments(arguments);
    const QDBusMessage reply =
        QDBusConnection::sessionBus().call(call, QDBus::Block, kControlTimeoutMs);
    if (reply.type() == QDBusMessage::ErrorMessage) {
        *error = QStringLiteral("%1.%2: %3").arg(service, method, reply.errorMessage());
        return false;
    }
    return true;
}

} // namespace

KIVO_TourStage::KIVO_TourStage(const QString &binDir, const QString &logDir)
    : m_binDir(binDir), m_logDir(logDir)
{
}

KIVO_TourStage::~KIVO_TourStage()
{
    tearDown();
}

bool KIVO_TourStage::setUp(QString *error)
{
    return prepareRoot(error) && startBus(error) &&
           startSimulator(
               m_telephony, QStringLiteral("kivo-sim-telephony"),
               {QStringLiteral("org.kivo.Telephony"), QStringLiteral("org.kivo.Sim.Telephony")},
               error) &&
           startSimulator(m_fts, QStringLiteral("kivo-sim-fts"),
                          {QStringLiteral("org.kivo.Sim.Fts")}, error);
}

void KIVO_TourStage::tearDown()
{
    // The simulators first, while their bus is still there; the bus last.
    endByPid(m_fts);
    endByPid(m_telephony);
    endByPid(m_bus);
}

QString KIVO_TourStage::root() const
{
    return m_root.path();
}

void KIVO_TourStage::keepRoot()
{
    m_root.setAutoRemove(false);
}

bool KIVO_TourStage::telephonyControl(const QString &method, const QVariantList &arguments,
                                      QString *error)
{
    return controlCall(QStringLiteral("org.kivo.Sim.Telephony"), method, arguments, error);
}

bool KIVO_TourStage::ftsControl(const QString &method, const QVariantList &arguments,
                                QString *error)
{
    return controlCall(QStringLiteral("org.kivo.Sim.Fts"), method, arguments, error);
}

bool KIVO_TourStage::prepareRoot(QString *error)
{
    if (!m_root.isValid()) {
        *error = QStringLiteral("cannot make a temporary root: %1").arg(m_root.errorString());
        return false;
    }
    // Device paths of KIVO and the simulators go under the root; the settings file takes its
    // default place there.
    qputenv("KIVO_ROOT", QFile::encodeName(m_root.path()));
    qunsetenv("VEK_APP_WRITE_PATH");
    const QByteArray flexBits = QByteArray::number(kKivoFeatureFlag) + "=1\n";
    if (!writeFile(m_root.filePath(QStringLiteral("etc/kivo/flexbits")), flexBits) ||
        !QDir().mkpath(m_root.filePath(QStringLiteral("tmp")))) {
        *error = QStringLiteral("cannot write under %1").arg(m_root.path());
        return false;
    }
    QProcess sampleData;
    sampleData.setStandardOutputFile(
        QDir(m_logDir).filePath(QStringLiteral("kivo-sample-data.log")));
    sampleData.start(QDir(m_binDir).filePath(QStringLiteral("kivo-sample-data")), {m_root.path()});
    if (!sampleData.waitForFinished(kStartTimeoutMs) ||
        sampleData.exitStatus() != QProcess::NormalExit || sampleData.exitCode() != 0) {
        *error = QStringLiteral("kivo-sample-data failed: %1 %2")
                     .arg(sampleData.errorString(),
                          QString::fromLocal8Bit(sampleData.readAllStandardError()));
        return false;
    }
    return true;
}

bool KIVO_TourStage::startBus(QString *error)
{
    // In the foreground, so that the process's PID is the daemon's.
    m_bus.start(QStringLiteral("dbus-daemon"),
                {QStringLiteral("--session"), QStringLiteral("--nofork"),
                 QStringLiteral("--print-address=1")});
    if (!m_bus.waitForStarted(kStartTimeoutMs)) {
        *error = QStringLiteral("cannot start dbus-daemon: %1").arg(m_bus.errorString());
        return false;
    }
    QDeadlineTimer deadline(kStartTimeoutMs);
    while (!m_bus.canReadLine() && !deadline.hasExpired() && m_bus.state() == QProcess::Running) {
        m_bus.waitForReadyRead(100);
    }
    const QByteArray address = m_bus.readLine().trimmed();
    if (address.isEmpty()) {
        *error = QStringLiteral("dbus-daemon gave no address: %1")
                     .arg(QString::fromLocal8Bit(m_bus.readAllStandardError()));
        return false;
    }
    // Read by the first use of the session bus, in this process and in the simulators.
    qputenv("DBUS_SESSION_BUS_ADDRESS", address);
    return true;
}

bool KIVO_TourStage::startSimulator(QProcess &process, const QString &program,
                                    const QStringList &busNames, QString *error)
{
    const QString log = QDir(m_logDir).filePath(program + QStringLiteral(".log"));
    process.setStandardOutputFile(log);
    process.setStandardErrorFile(log, QIODevice::Append);
    process.start(QDir(m_binDir).filePath(program), {});
    if (!process.waitForStarted(kStartTimeoutMs) || !waitForNames(process, busNames)) {
        *error = QStringLiteral("%1 did not come up on the bus (see %2)").arg(program, log);
        return false;
    }
    return true;
}

void KIVO_TourStage::endByPid(QProcess &process)
{
    if (process.state() == QProcess::NotRunning) {
        return;
    }
    // QProcess sends SIGTERM to the process's own PID, SIGKILL if that is not enough.
    process.terminate();
    if (!process.waitForFinished(5000)) {
        process.kill();
        process.waitForFinished(5000);
    }
}
