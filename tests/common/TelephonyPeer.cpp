#include "TelephonyPeer.h"

#include <QDBusVirtualObject>
#include <QMutex>
#include <QMutexLocker>
#include <QTimer>
#include <QUuid>

class TelephonyPeerObject : public QDBusVirtualObject {
    Q_OBJECT

public:
    enum class Mode { Reply, Error, TooLate };

    void plan(Mode mode, const QVariantList &arguments, const QString &errorName)
    {
        QMutexLocker lock(&m_mutex);
        m_mode = mode;
        m_arguments = arguments;
        m_errorName = errorName;
    }

    QDBusMessage lastCall() const
    {
        QMutexLocker lock(&m_mutex);
        return m_lastCall;
    }

    QString introspect(const QString &) const override
    {
        return QString();
    }

    bool handleMessage(const QDBusMessage &message, const QDBusConnection &connection) override
    {
        QMutexLocker lock(&m_mutex);
        m_lastCall = message;
        switch (m_mode) {
        case Mode::Reply:
            connection.send(message.createReply(m_arguments));
            break;
        case Mode::Error:
            connection.send(message.createErrorReply(m_errorName, QStringLiteral("planned")));
            break;
        case Mode::TooLate: {
            const QDBusMessage reply = message.createReply(m_arguments);
            QTimer::singleShot(3500, this, [connection, reply] { connection.send(reply); });
            break;
        }
        }
        return true;
    }

private:
    mutable QMutex m_mutex;
    Mode m_mode = Mode::Reply;
    QVariantList m_arguments;
    QString m_errorName;
    QDBusMessage m_lastCall;
};

TelephonyPeer::TelephonyPeer()
    : m_connectionName(QUuid::createUuid().toString()), m_object(new TelephonyPeerObject)
{
    m_object->moveToThread(&m_thread);
    QObject::connect(&m_thread, &QThread::finished, m_object, &QObject::deleteLater);
    m_thread.start();
    connection().registerVirtualObject(QStringLiteral("/org/kivo/Telephony"), m_object);
}

TelephonyPeer::~TelephonyPeer()
{
    closeConnection();
    m_thread.quit();
    m_thread.wait();
}

QDBusConnection TelephonyPeer::connection() const
{
    return QDBusConnection::connectToBus(QDBusConnection::SessionBus, m_connectionName);
}

bool TelephonyPeer::claimName()
{
    return connection().registerService(QStringLiteral("org.kivo.Telephony"));
}

void TelephonyPeer::releaseName()
{
    connection().unregisterService(QStringLiteral("org.kivo.Telephony"));
}

void TelephonyPeer::closeConnection()
{
    connection().unregisterObject(QStringLiteral("/org/kivo/Telephony"));
    QDBusConnection::disconnectFromBus(m_connectionName);
}

void TelephonyPeer::answer(const QVariantList &arguments)
{
    m_object->plan(TelephonyPeerObject::Mode::Reply, arguments, QString());
}

void TelephonyPeer::answerError(const QString &errorName)
{
    m_object->plan(TelephonyPeerObject::Mode::Error, {}, errorName);
}

void TelephonyPeer::answerTooLate(const QVariantList &arguments)
{
    m_object->plan(TelephonyPeerObject::Mode::TooLate, arguments, QString());
}

QDBusMessage TelephonyPeer::lastCall() const
{
    return m_object->lastCall();
}

void TelephonyPeer::emitEvent(quint16 type, const QByteArray &data, const QString &destination)
{
    const QString path = QStringLiteral("/org/kivo/Telephony");
    const QString interface = QStringLiteral("org.kivo.Telephony");
    QDBusMessage event = destination.isEmpty()
                             ? QDBusMessage::createSignal(path, interface, QStringLiteral("Event"))
                             : QDBusMessage::createTargetedSignal(destination, path, interface,
                                                                  QStringLiteral("Event"));
    event << QVariant::fromValue(type) << data;
    connection().send(event);
}

#include "TelephonyPeer.moc"
