#pragma once

#include <QDBusConnection>
#include <QDBusMessage>
#include <QObject>

// Keeps every signal with the given path, interface and member that reaches `connection`
// (from `sender` only, when one is given), as another process on the bus would see it.
class SignalCatcher : public QObject {
    Q_OBJECT

public:
    SignalCatcher(const QDBusConnection &connection, const QString &sender, const QString &path,
                  const QString &interface, const QString &member);

    QList<QDBusMessage> messages;

public slots:
    void catchMessage(const QDBusMessage &message);

private:
    Q_DISABLE_COPY(SignalCatcher)
};

// Sends a marker signal from `from` and waits until the session connection of this process has
// received it: everything `from` sent before has then been delivered here.
bool waitForDelivery(const QDBusConnection &from);
