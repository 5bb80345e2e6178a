#include "SignalCatcher.h"

#include <QTest>
#include <QUuid>

SignalCatcher::SignalCatcher(const QDBusConnection &connection, const QString &sender,
                             const QString &path, const QString &interface, const QString &member)
{
    QDBusConnection(connection)
        .connect(sender, path, interface, member, this, SLOT(catchMessage(QDBusMessage)));
}

void SignalCatcher::catchMessage(const QDBusMessage &message)
{
    messages.append(message);
}

bool waitForDelivery(const QDBusConnection &from)
{
    const QString path = QStringLiteral("/test/delivery");
    const QString interface = QStringLiteral("org.kivo.Test");
    const QString member = QStringLiteral("Marker");
    const QString token = QUuid::createUuid().toString();
    SignalCatcher catcher(QDBusConnection::sessionBus(), from.baseService(), path, interface,
                          member);
    QDBusMessage marker = QDBusMessage::createSignal(path, interface, member);
    marker << token;
    QDBusConnection(from).send(marker);
    return QTest::qWaitFor(
        [&catcher, &token] {
            return !catcher.messages.isEmpty() &&
                   catcher.messages.constLast().arguments().value(0).toString() == token;
        },
        5000);
}
