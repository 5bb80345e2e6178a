#include "UTIL_TAPI_Device.h"

#include "TAPI_KIVO_p.h"
#include "UTIL_TAPI_Event.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusServiceWatcher>
#include <QList>
#include <QVariant>

namespace {

const char eventMember[] = "Event";
const char eventSignature[] = "qay";

// The unique name that owns `name` now, empty when nobody does or there is no bus.
QString nameOwner(const QString &name)
{
    QDBusMessage call = QDBusMessage::createMethodCall(
        QStringLiteral("org.freedesktop.DBus"), QStringLiteral("/org/freedesktop/DBus"),
        QStringLiteral("org.freedesktop.DBus"), QStringLiteral("GetNameOwner"));
    call << name;
    const QDBusMessage reply = QDBusConnection::sessionBus().call(call, QDBus::Block);
    if (reply.type() != QDBusMessage::ReplyMessage || reply.signature() != QLatin1String("s")) {
        return QString();
    }
    return reply.arguments().constFirst().toString();
}

} // namespace

UTIL_TAPI_Device::UTIL_TAPI_Device(QObject *parent, const char *name)
    : QObject(parent),
      m_watcher(new QDBusServiceWatcher(QLatin1String(tapiService), QDBusConnection::sessionBus(),
                                        QDBusServiceWatcher::WatchForOwnerChange, this))
{
    if (name) {
        setObjectName(QString::fromLatin1(name));
    }
    connect(m_watcher, &QDBusServiceWatcher::serviceOwnerChanged, this,
            [this](const QString &, const QString &oldOwner, const QString &newOwner) {
                setOwner(oldOwner, newOwner);
            });
    // Asked after the watcher is in place, so that no change of owner can slip between.
    m_owner = nameOwner(QLatin1String(tapiService));
    // Naming the service makes the bus and QtDBus pass on only the signals of its current
    // owner, broadcast or sent to us alone. QtDBus only takes a slot given as a string.
    QDBusConnection::sessionBus().connect(QLatin1String(tapiService), QLatin1String(tapiPath),
                                          QLatin1String(tapiInterface), eventMember, eventSignature,
                                          this, SLOT(handleEvent(QDBusMessage)));
}

UTIL_TAPI_Device::~UTIL_TAPI_Device()
{
    QDBusConnection::sessionBus().disconnect(QLatin1String(tapiService), QLatin1String(tapiPath),
                                             QLatin1String(tapiInterface), eventMember,
                                             eventSignature, this, SLOT(handleEvent(QDBusMessage)));
}

int UTIL_TAPI_Device::IsTapiInvalid() const
{
    return m_owner.isEmpty() || !QDBusConnection::sessionBus().isConnected() ? 1 : 0;
}

void UTIL_TAPI_Device::SetClientHandle(int handle)
{
    // The bus tells clients apart by their connection; the handle itself carries nothing
    // more for this device.
    Q_UNUSED(handle);
    m_types = tapiRegisteredTypes();
}

void UTIL_TAPI_Device::handleEvent(const QDBusMessage &message)
{
    // QtDBus already drops signals from other senders; checking here as well keeps a forged
    // Event out whatever the bus library does.
    if (message.service() != m_owner) {
        return;
    }
    const QList<QVariant> arguments = message.arguments();
    const quint16 type = arguments.at(0).value<quint16>();
    if (!m_types.contains(type)) {
        return;
    }
    UTIL_TAPI_Event event(type, arguments.at(1).toByteArray());
    emit TAPI_SendEvent(&event);
}

void UTIL_TAPI_Device::setOwner(const QString &oldOwner, const QString &newOwner)
{
    m_owner = newOwner;
    if (!oldOwner.isEmpty()) {
        m_lost = true;
    }
    if (!oldOwner.isEmpty() && newOwner.isEmpty()) {
        emit TapiDeviceClosed();
    }
    if (m_lost && !newOwner.isEmpty()) {
        m_lost = false;
        emit TapiDeviceReopened();
    }
}
