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
    QDBusConnection(from).send(QDBusMessage::createSignal(path, interface, member) << token);
    const auto &seen = catcher.messages;
    return QTest::qWaitFor(
        [&] { return seen.value(seen.size() - 1).arguments().value(0).toString() == token; }, 5000);
}
