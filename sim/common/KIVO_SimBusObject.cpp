#include "KIVO_SimBusObject.h"

#include "KIVO_SimLog.h"

#include <QCoreApplication>
#include <QDBusConnectionInterface>
#include <QDBusError>
#include <QTimer>

KIVO_SimBusObject::KIVO_SimBusObject(const QString &interface, QObject *parent)
    : QDBusVirtualObject(parent), m_interface(interface)
{
}

KIVO_SimBusObject::~KIVO_SimBusObject() = default;

QString KIVO_SimBusObject::interface() const
{
    return m_interface;
}

void KIVO_SimBusObject::addMethod(const QString &name, const QString &inArgs,
                                  const QString &outArgs, const Handler &handler)
{
    m_methods.append(Method{name, parseArgs(inArgs), parseArgs(outArgs), handler});
}

void KIVO_SimBusObject::addSignal(const QString &name, const QString &args)
{
    m_signals.append(Signal{name, parseArgs(args)});
}

void KIVO_SimBusObject::setReplyDelay(const QString &method, int ms)
{
    if (method.isEmpty()) {
        m_delayForAll = ms;
        m_delays.clear();
    } else {
        m_delays.insert(method, ms);
    }
}

bool KIVO_SimBusObject::hasMethod(const QString &name) const
{
    for (const Method &method : m_methods) {
        if (method.name == name) {
            return true;
        }
    }
    return false;
}

int KIVO_SimBusObject::replyDelay(const QString &method) const
{
    return m_delays.value(method, m_delayForAll);
}

bool KIVO_SimBusObject::handleMessage(const QDBusMessage &message,
                                      const QDBusConnection &connection)
{
    if (message.type() != QDBusMessage::MethodCallMessage) {
        return false;
    }
    // A call without an interface is taken by member name alone, as the bus allows.
    if (!message.interface().isEmpty() && message.interface() != m_interface) {
        return false;
    }
    const Method *method = nullptr;
    for (const Method &candidate : m_methods) {
        if (candidate.name == message.member()) {
            method = &candidate;
            break;
        }
    }
    if (!method) {
        if (message.interface().isEmpty()) {
            return false; // perhaps one of the bus's standard interfaces
        }
        simLog(QStringLiteral("<- %1 %2(%3): no such method")
                   .arg(message.service(), message.member(), simDescribe(message.arguments())));
        send(connection, message,
             error(message, QStringLiteral("org.freedesktop.DBus.Error.UnknownMethod"),
                   QStringLiteral("%1 has no method %2").arg(m_interface, message.member())));
        return true;
    }

    simLog(QStringLiteral("<- %1 %2(%3)")
               .arg(message.service(), message.member(), simDescribe(message.arguments())));

    const QString expected = signatureOf(method->in);
    if (message.signature() != expected) {
        send(connection, message,
             error(message, QStringLiteral("org.freedesktop.DBus.Error.InvalidArgs"),
                   QStringLiteral("%1 takes (%2), got (%3)")
                       .arg(method->name, expected, message.signature())));
        return true;
    }
    send(connection, message, method->handler(message));
    return true;
}

void KIVO_SimBusObject::send(const QDBusConnection &connection, const QDBusMessage &call,
                             const KIVO_SimReply &answer)
{
    const int delay = replyDelay(call.member());
    auto deliver = [connection, call, answer, delay] {
        QString what = answer.message.type() == QDBusMessage::ErrorMessage
                           ? QStringLiteral("error %1 \"%2\"")
                                 .arg(answer.message.errorName(), answer.message.errorMessage())
                       : answer.message.arguments().isEmpty()
                           ? QStringLiteral("done")
                           : simDescribe(answer.message.arguments());
        if (delay > 0) {
            what += QStringLiteral(" (after %1 ms)").arg(delay);
        }
        if (call.isReplyRequired()) {
            connection.send(answer.message);
            simLog(QStringLiteral("-> %1 %2: %3").arg(call.service(), call.member(), what));
        } else {
            simLog(QStringLiteral("   %1: no reply wanted (%2)").arg(call.member(), what));
        }
        if (answer.afterSent) {
            answer.afterSent();
        }
    };
    if (delay > 0) {
        QTimer::singleShot(delay, this, deliver);
    } else {
        deliver();
    }
}

QString KIVO_SimBusObject::introspect(const QString &path) const
{
    Q_UNUSED(path);
    auto argLines = [](const QList<Arg> &args, const char *direction) {
        QString lines;
        for (const Arg &arg : args) {
            lines +=
                QStringLiteral("      <arg name=\"%1\" type=\"%2\"%3/>\n")
                    .arg(arg.name, arg.signature,
                         direction
                             ? QStringLiteral(" direction=\"%1\"").arg(QLatin1String(direction))
                             : QString());
        }
        return lines;
    };
    QString xml = QStringLiteral("  <interface name=\"%1\">\n").arg(m_interface);
    for (const Method &method : m_methods) {
        xml += QStringLiteral("    <method name=\"%1\">\n").arg(method.name);
        xml += argLines(method.in, "in");
        xml += argLines(method.out, "out");
        xml += QStringLiteral("    </method>\n");
    }
    for (const Signal &signal : m_signals) {
        xml += QStringLiteral("    <signal name=\"%1\">\n").arg(signal.name);
        xml += argLines(signal.args, nullptr);
        xml += QStringLiteral("    </signal>\n");
    }
    xml += QStringLiteral("  </interface>\n");
    return xml;
}

KIVO_SimReply KIVO_SimBusObject::reply(const QDBusMessage &call, const QVariantList &values,
                                       const std::function<void()> &afterSent)
{
    return KIVO_SimReply{call.createReply(values), afterSent};
}

KIVO_SimReply KIVO_SimBusObject::error(const QDBusMessage &call, const QString &name,
                                       const QString &text)
{
    return KIVO_SimReply{call.createErrorReply(name, text), {}};
}

KIVO_SimReply KIVO_SimBusObject::done(const QDBusMessage &call)
{
    return reply(call, {});
}

void KIVO_SimBusObject::addQuit()
{
    addMethod(QStringLiteral("Quit"), QString(), QString(), [](const QDBusMessage &call) {
        return reply(call, {}, [] {
            // Leave the event loop only once the reply is on its way: a round trip to the bus
            // daemon flushes it.
            QTimer::singleShot(0, qApp, [] {
                QDBusConnection::sessionBus().interface()->isServiceRegistered(
                    QStringLiteral("org.freedesktop.DBus"));
                QCoreApplication::quit();
            });
        });
    });
}

bool KIVO_SimBusObject::publish(const QDBusConnection &bus, const QString &path,
                                const QString &service, QString *error)
{
    QDBusConnection connection = bus;
    if (!connection.registerVirtualObject(path, this)) {
        *error = QStringLiteral("cannot register %1: %2").arg(path, connection.lastError().message());
        return false;
    }
    if (!connection.registerService(service)) {
        *error = QStringLiteral("cannot take %1 (another simulator running?): %2")
                     .arg(service, connection.lastError().message());
        return false;
    }
    return true;
}

QList<KIVO_SimBusObject::Arg> KIVO_SimBusObject::parseArgs(const QString &args)
{
    QList<Arg> parsed;
    const QStringList parts = args.split(QLatin1Char(','), Qt::SkipEmptyParts);
    for (const QString &part : parts) {
        const QStringList words = part.simplified().split(QLatin1Char(' '));
        parsed.append(Arg{words.value(0), words.value(1)});
    }
    return parsed;
}

QString KIVO_SimBusObject::signatureOf(const QList<Arg> &args)
{
    QString signature;
    for (const Arg &arg : args) {
        signature += arg.signature;
    }
    return signature;
}
