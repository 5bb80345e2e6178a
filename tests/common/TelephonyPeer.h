#pragma once

#include <QDBusConnection>
#include <QDBusMessage>
#include <QThread>
#include <QVariantList>

class TelephonyPeerObject;

// A stand-in for the telephony service on a bus connection of its own, as another process
// would have. It answers from its own thread, so that the library's blocking calls made on the
// test's thread get their answer, and it answers every call as the test last planned (at once,
// or later without holding up the calls that follow).
class TelephonyPeer {
public:
    TelephonyPeer();
    ~TelephonyPeer();

    QDBusConnection connection() const;
    bool claimName();
    void releaseName();

    // How the following calls are answered.
    void answer(const QVariantList &arguments);
    void answerError(const QString &errorName);
    // Answers `delayMs` after each call, as a slow service does.
    void answerAfter(int delayMs, const QVariantList &arguments);
    // Calls of `method` are answered with `arguments` whatever else is planned.
    void answerMethod(const QString &method, const QVariantList &arguments);
    QDBusMessage lastCall() const;
    // Calls received whose answer has not been sent yet.
    int unanswered() const;
    // The most calls that were unanswered at once.
    int mostUnanswered() const;
    // The first argument of each call of `method`, in order.
    QVariantList calls(const QString &method) const;

    // Emits Event(q type, ay data) as a broadcast, or to `destination` alone.
    void emitEvent(quint16 type, const QByteArray &data, const QString &destination = QString());

private:
    Q_DISABLE_COPY(TelephonyPeer)
    QString m_connectionName;
    QThread m_thread;
    TelephonyPeerObject *m_object;
};
