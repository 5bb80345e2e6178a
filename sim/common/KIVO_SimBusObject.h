#pragma once

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusVirtualObject>
#include <QHash>
#include <QList>
#include <QString>
#include <QStringList>

#include <functional>

// The answer to one call and what is to happen once it has gone out (the telephony layer
// sends a sticker outcome only after it has accepted the request).
struct KIVO_SimReply {
    QDBusMessage message;
    std::function<void()> afterSent;
};

// One bus interface of a simulator, served from a table of handlers. It checks each call's
// signature (a mismatch is answered with InvalidArgs), logs the call with its arguments in
// hex, answers after the delay set for the method and introspects itself from the table.
// Owned by the simulator that creates it; registered with registerVirtualObject().
class KIVO_SimBusObject : public QDBusVirtualObject {
    Q_OBJECT

public:
    using Handler = std::function<KIVO_SimReply(const QDBusMessage &call)>;

    explicit KIVO_SimBusObject(const QString &interface, QObject *parent = nullptr);
    ~KIVO_SimBusObject() override;

    QString interface() const;

    // Arguments are written "s method, i status"; the signatures come from them.
    void addMethod(const QString &name, const QString &inArgs, const QString &outArgs,
                   const Handler &handler);
    void addSignal(const QString &name, const QString &args);

    // The delay before answering `method`; an empty name sets the delay of every method.
    void setReplyDelay(const QString &method, int ms);
    bool hasMethod(const QString &name) const;

    // Adds "Quit", which ends the simulator once its reply has gone out.
    void addQuit();
    // Serves this object at `path` on `bus` and takes the name `service`; on failure, says why.
    bool publish(const QDBusConnection &bus, const QString &path, const QString &service,
                 QString *error);

    bool handleMessage(const QDBusMessage &message, const QDBusConnection &connection) override;
    QString introspect(const QString &path) const override;

    // Answers for the handlers.
    static KIVO_SimReply reply(const QDBusMessage &call, const QVariantList &values,
                               const std::function<void()> &afterSent = {});
    static KIVO_SimReply error(const QDBusMessage &call, const QString &name, const QString &text);
    // The empty reply of a method that only acts.
    static KIVO_SimReply done(const QDBusMessage &call);

private:
    struct Arg {
        QString signature;
        QString name;
    };
    struct Method {
        QString name;
        QList<Arg> in;
        QList<Arg> out;
        Handler handler;
    };
    struct Signal {
        QString name;
        QList<Arg> args;
    };

    static QList<Arg> parseArgs(const QString &args);
    static QString signatureOf(const QList<Arg> &args);
    int replyDelay(const QString &method) const;
    void send(const QDBusConnection &connection, const QDBusMessage &call,
              const KIVO_SimReply &answer);

    Q_DISABLE_COPY(KIVO_SimBusObject)
    QString m_interface;
    QList<Method> m_methods;
    QList<Signal> m_signals;
    QHash<QString, int> m_delays;
    int m_delayForAll = 0;
};
