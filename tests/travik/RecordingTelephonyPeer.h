#pragma once

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusVirtualObject>
#include <QHash>
#include <QMutex>
#include <QThread>

// org.kivo.Telephony for the screen tests: owns the name on the private bus, keeps every call
// and answers each method with the value set for it. It serves from a thread of its own, as
// the client's calls block the GUI thread until they are answered.
class RecordingTelephonyPeer : public QDBusVirtualObject {
public:
    RecordingTelephonyPeer()
        : m_bus(QDBusConnection::connectToBus(QDBusConnection::SessionBus, s_name))
    {
        setAnswer("Register", 1);
        moveToThread(&m_thread);
        m_thread.start();
        m_serving = m_bus.registerVirtualObject(s_path, this) && m_bus.registerService(s_service);
    }
    ~RecordingTelephonyPeer() override
    {
        m_bus.unregisterObject(s_path);
        m_thread.quit();
        m_thread.wait();
        QDBusConnection::disconnectFromBus(s_name);
    }
    bool isServing() const
    {
        return m_serving;
    }
    // "CheckArfcn" is answered with a byte (uchar), the others with an int.
    void setAnswer(const QString &method, const QVariant &answer)
    {
        QMutexLocker locker(&m_lock);
        m_answers.insert(method, answer);
    }
    // The first argument of each call of `method`, in order.
    QVariantList calls(const QString &method) const
    {
        QMutexLocker locker(&m_lock);
        QVariantList found;
        for (const QDBusMessage &call : m_calls) {
            if (call.member() == method) {
                found << call.arguments().value(0);
            }
        }
        return found;
    }
    void sendEvent(quint16 type, const QByteArray &raw)
    {
        QDBusMessage event = QDBusMessage::createSignal(s_path, s_service, "Event");
        m_bus.send(event << QVariant::fromValue(type) << raw);
    }

    QString introspect(const QString &) const override
    {
        return QString();
    }
    bool handleMessage(const QDBusMessage &call, const QDBusConnection &bus) override
    {
        QMutexLocker locker(&m_lock);
        m_calls << call;
        return bus.send(call.createReply(m_answers.value(call.member())));
    }

private:
    static constexpr const char *s_name = "kivo-test-telephony";
    static constexpr const char *s_service = "org.kivo.Telephony";
    static constexpr const char *s_path = "/org/kivo/Telephony";
    QThread m_thread;
    QDBusConnection m_bus;
    bool m_serving = false;
    mutable QMutex m_lock;
    QHash<QString, QVariant> m_answers;
    QList<QDBusMessage> m_calls;
};
