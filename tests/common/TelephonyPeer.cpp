#include "TelephonyPeer.h"

#include <QDBusVirtualObject>
#include <QHash>
#include <QMutex>
#include <QTimer>
#include <QUuid>

namespace {
const QString s_path = QStringLiteral("/org/kivo/Telephony");
const QString s_service = QStringLiteral("org.kivo.Telephony");
} // namespace

// Lives on the peer's thread; the test's thread plans and reads under the mutex.
class TelephonyPeerObject : public QDBusVirtualObject {
public:
    enum class Mode { Reply, Error };
    struct Plan {
        Mode mode = Mode::Reply;
        QVariantList arguments;
        QString errorName;
        int delayMs = 0;
    };

    QString introspect(const QString &) const override
    {
        return QString();
    }

    bool handleMessage(const QDBusMessage &message, const QDBusConnection &connection) override
    {
        QMutexLocker lock(&mutex);
        calls << message;
        mostUnanswered = qMax(mostUnanswered, int(calls.size()) - answered);
        const Plan planned = byMethod.value(message.member(), plan);
        const QDBusMessage reply = planned.mode == Mode::Error
                                       ? message.createErrorReply(planned.errorName, "planned")
                                       : message.createReply(planned.arguments);
        if (planned.delayMs > 0) {
            QTimer::singleShot(planned.delayMs, this, [this, connection, reply] {
                QMutexLocker lock(&mutex);
                connection.send(reply);
                ++answered;
            });
        } else {
            connection.send(reply);
            ++answered;
        }
        return true;
    }

    void setPlan(const QString &method, const Plan &planned)
    {
        QMutexLocker lock(&mutex);
        (method.isEmpty() ? plan : byMethod[method]) = planned;
    }

    QMutex mutex;
    Plan plan;
    QHash<QString, Plan> byMethod;
    QList<QDBusMessage> calls;
    int answered = 0;
    int mostUnanswered = 0;
};

TelephonyPeer::TelephonyPeer()
    : m_connectionName(QUuid::createUuid().toString()), m_object(new TelephonyPeerObject)
{
    m_object->moveToThread(&m_thread);
    QObject::connect(&m_thread, &QThread::finished, m_object, &QObject::deleteLater);
    m_thread.start();
    connection().registerVirtualObject(s_path, m_object);
}

TelephonyPeer::~TelephonyPeer()
{
    connection().unregisterObject(s_path);
    QDBusConnection::disconnectFromBus(m_connectionName);
    m_thread.quit();
    m_thread.wait();
}

QDBusConnection TelephonyPeer::connection() const
{
    return QDBusConnection::connectToBus(QDBusConnection::SessionBus, m_connectionName);
}

bool TelephonyPeer::claimName()
{
    return connection().registerService(s_service);
}

void TelephonyPeer::releaseName()
{
    connection().unregisterService(s_service);
}

void TelephonyPeer::answer(const QVariantList &arguments)
{
    m_object->setPlan(QString(), {TelephonyPeerObject::Mode::Reply, arguments, QString()});
}

void TelephonyPeer::answerError(const QString &errorName)
{
    m_object->setPlan(QString(), {TelephonyPeerObject::Mode::Error, {}, errorName});
}

void TelephonyPeer::answerAfter(int delayMs, const QVariantList &arguments)
{
    m_object->setPlan(QString(), {TelephonyPeerObject::Mode::Reply, arguments, QString(), delayMs});
}

void TelephonyPeer::answerMethod(const QString &method, const QVariantList &arguments)
{
    m_object->setPlan(method, {TelephonyPeerObject::Mode::Reply, arguments, QString()});
}

QDBusMessage TelephonyPeer::lastCall() const
{
    QMutexLocker lock(&m_object->mutex);
    return m_object->calls.isEmpty() ? QDBusMessage() : m_object->calls.constLast();
}

int TelephonyPeer::unanswered() const
{
    QMutexLocker lock(&m_object->mutex);
    return int(m_object->calls.size()) - m_object->answered;
}

int TelephonyPeer::mostUnanswered() const
{
    QMutexLocker lock(&m_object->mutex);
    return m_object->mostUnanswered;
}

QVariantList TelephonyPeer::calls(const QString &method) const
{
    QMutexLocker lock(&m_object->mutex);
    QVariantList found;
    for (const QDBusMessage &call : std::as_const(m_object->calls)) {
        if (call.member() == method) {
            found << call.arguments().value(0);
        }
    }
    return found;
}

void TelephonyPeer::emitEvent(quint16 type, const QByteArray &data, const QString &destination)
{
    const QString event = QStringLiteral("Event");
    QDBusMessage message =
        destination.isEmpty()
            ? QDBusMessage::createSignal(s_path, s_service, event)
            : QDBusMessage::createTargetedSignal(destination, s_path, s_service, event);
    connection().send(message << QVariant::fromValue(type) << data);
}
