#pragma once

#include <QDBusConnection>
#include <QDBusMessage>
#include <QList>
#include <QObject>
#include <QString>
#include <QVariantMap>

#include <functional>

class QDBusPendingCallWatcher;
class QDBusServiceWatcher;

// A client of ModemManager on the system bus: finds one modem through the daemon's object
// manager (the lowest-numbered, or the one named), follows it while the daemon and the modem
// come and go, keeps the properties KIVO's services read, and sends the modem's calls. It knows
// nothing of KIVO's own services. Owned by whoever creates it.
class KIVO_MMClient : public QObject {
    Q_OBJECT

public:
    using ReplyHandler = std::function<void(const QDBusMessage &reply)>;

    // `modemPath` empty: the lowest-numbered modem.
    explicit KIVO_MMClient(const QDBusConnection &systemBus, const QString &modemPath = {},
                           QObject *parent = nullptr);
    ~KIVO_MMClient() override;

    // Starts watching the daemon; the signals tell what is found.
    void start();

    // True while the daemon runs and the modem's object exists.
    bool hasModem() const;
    QString modemPath() const;
    QString manufacturer() const;
    QString model() const;
    int state() const; // MMModemState; -1 failed
    QList<uint> supportedBands() const;
    uint registrationState() const; // MMModem3gppRegistrationState
    // The 3GPP LAC/CI location, "MCC,MNC,LAC,CI,TAC"; empty when unknown.
    QString location() const;

    // Modem.Command(`command`, `modemTimeoutS`); `handler` gets the reply or error message,
    // within `callTimeoutMs`, unless `context` is gone by then.
    void command(const QString &command, uint modemTimeoutS, int callTimeoutMs, QObject *context,
                 const ReplyHandler &handler);
    // Modem.GetCellInfo(); read the reply with cellInfo().
    void getCellInfo(int callTimeoutMs, QObject *context, const ReplyHandler &handler);
    // The cells of a GetCellInfo reply.
    static QList<QVariantMap> cellInfo(const QDBusMessage &reply);

signals:
    // The modem was found (its properties are read) or went away (daemon or modem gone).
    void modemAppeared();
    void modemVanished();
    void stateChanged(int state);
    void registrationChanged(uint state);
    void locationChanged(const QString &previous, const QString &current);

private slots:
    // QtDBus takes the slots of bus signals only as strings.
    void interfacesAdded(const QDBusMessage &message);
    void interfacesRemoved(const QDBusMessage &message);
    void propertiesChanged(const QDBusMessage &message);
    void modemStateChanged(const QDBusMessage &message);

private:
    void daemonOwnerChanged(const QString &owner);
    void lookForModem();
    void takeManagedObjects(const QDBusMessage &reply);
    void applyProperties(const QString &interface, const QVariantMap &properties);
    void setUpLocation();
    void dropModem();
    void call(const QDBusMessage &message, int timeoutMs, QObject *context,
              const ReplyHandler &handler);
    bool isOurPath(const QString &path) const;

    Q_DISABLE_COPY(KIVO_MMClient)
    QDBusConnection m_bus;
    QString m_wantedPath;
    QDBusServiceWatcher *m_watcher = nullptr; // child
    bool m_daemon = false;
    bool m_looking = false;
    bool m_lookAgain = false; // a modem was added while a look was under way
    QString m_path;           // the modem followed; empty while none
    QString m_manufacturer;
    QString m_model;
    int m_state = 0;
    QList<uint> m_bands;
    uint m_registration = 0;
    QString m_location;
    uint m_locationEnabled = 0;
};
