#pragma once

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QProcess>
#include <QTest>

// The bridge on the test's session bus against the ModemManager stand-in on a private bus of
// its own, which both are given as the system bus. Every process is ended by its PID when the
// rig goes.
class MMBridgeRig {
public:
    static inline const QString s_modem0 = QStringLiteral("/org/freedesktop/ModemManager1/Modem/0");

    explicit MMBridgeRig(const QString &root) : m_root(root)
    {
    }
    ~MMBridgeRig()
    {
        for (QProcess *process : {&m_bridge, &m_fake, &m_systemBus}) {
            if (process->state() != QProcess::NotRunning) {
                process->kill();
                process->waitForFinished(10000);
            }
        }
    }

    // The private bus, then the stand-in with `fakeArguments`; true once it owns its control name.
    bool startFake(const QStringList &fakeArguments = {})
    {
        m_systemBus.start(QStringLiteral("dbus-daemon"),
                          {QStringLiteral("--session"), QStringLiteral("--nofork"),
                           QStringLiteral("--print-address=1")});
        if (!m_systemBus.waitForStarted(10000) ||
            !QTest::qWaitFor([this] { return m_systemBus.canReadLine(); }, 10000)) {
            return false;
        }
        m_address = QString::fromLatin1(m_systemBus.readLine().trimmed());
        m_fake.setProcessEnvironment(environment());
        m_fake.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        m_fake.setStandardOutputFile(QProcess::nullDevice());
        m_fake.start(QStringLiteral(KIVO_SIM_MODEMMANAGER), fakeArguments);
        return m_fake.waitForStarted(10000) &&
               QTest::qWaitFor([] { return isOwned(QStringLiteral("org.kivo.Sim.ModemManager")); },
                               10000);
    }
    // The bridge, with `arguments`; true once it has started.
    bool startBridge(const QStringList &arguments = {QStringLiteral("--lock-timeout"),
                                                     QStringLiteral("1500")})
    {
        m_bridge.setProcessEnvironment(environment());
        m_bridge.start(QStringLiteral(KIVO_MM_BRIDGE), arguments);
        return m_bridge.waitForStarted(10000);
    }
    // Waits until the bridge has told what the modem can do: by then it owns the name and the
    // stand-in has its location set-up.
    bool waitReady()
    {
        return QTest::qWaitFor([this] { return errors().contains("serving cell: "); }, 15000) &&
               isOwned(QStringLiteral("org.kivo.Telephony"));
    }
    bool start(const QStringList &fakeArguments = {})
    {
        return startFake(fakeArguments) && startBridge() && waitReady();
    }

    // All the bridge wrote to stderr so far.
    const QByteArray &errors()
    {
        m_errors += m_bridge.readAllStandardError();
        return m_errors;
    }
    QProcess &bridge()
    {
        return m_bridge;
    }

    static bool isOwned(const QString &name)
    {
        return QDBusConnection::sessionBus().interface()->isServiceRegistered(name).value();
    }
    // A call of the stand-in's control interface; answers the reply.
    static QDBusMessage control(const QString &method, const QVariantList &arguments = {})
    {
        QDBusMessage call = QDBusMessage::createMethodCall(
            QStringLiteral("org.kivo.Sim.ModemManager"), QStringLiteral("/org/kivo/Sim"),
            QStringLiteral("org.kivo.Sim.ModemManager"), method);
        call.setArguments(arguments);
        return QDBusConnection::sessionBus().call(call, QDBus::Block, 10000);
    }
    static QVariant modem(const QString &path = s_modem0)
    {
        return QVariant::fromValue(QDBusObjectPath(path));
    }
    // The AT commands the modem got, the bridge's start-up probe left out.
    static QStringList commands(const QString &path = s_modem0)
    {
        QStringList sent =
            control(QStringLiteral("Commands"), {modem(path)}).arguments().value(0).toStringList();
        sent.removeAll(QStringLiteral("AT+QNWLOCK=\"common/lte\""));
        sent.removeAll(QStringLiteral("AT"));
        return sent;
    }

private:
    QProcessEnvironment environment() const
    {
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("DBUS_SYSTEM_BUS_ADDRESS"), m_address);
        environment.insert(QStringLiteral("KIVO_ROOT"), m_root);
        environment.remove(QStringLiteral("VEK_APP_WRITE_PATH"));
        return environment;
    }

    QString m_root;
    QString m_address;
    QProcess m_systemBus;
    QProcess m_fake;
    QProcess m_bridge;
    QByteArray m_errors;
};
