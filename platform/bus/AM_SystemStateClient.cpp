#include "AM_SystemStateClient.h"

#include <QDBusConnection>
#include <QDBusMessage>

AM_SystemStateClient *AM_SystemStateClient::instance()
{
    static AM_SystemStateClient client;
    return &client;
}

void AM_SystemStateClient::postClientEvent(AM_SystemState::CLIENT_EVENT event)
{
    QDBusMessage signal = QDBusMessage::createSignal(QStringLiteral("/org/kivo/SystemState"),
                                                     QStringLiteral("org.kivo.SystemState"),
                                                     QStringLiteral("ClientEvent"));
    signal << static_cast<int>(event);
    // Without a bus the event is lost, as when no application manager listens.
    QDBusConnection::sessionBus().send(signal);
}
