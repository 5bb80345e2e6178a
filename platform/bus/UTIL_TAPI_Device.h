#pragma once

#include <QObject>
#include <QSet>
#include <QString>

class QDBusMessage;
class QDBusServiceWatcher;
class UTIL_TAPI_Event;

// The client side of the telephony service org.kivo.Telephony. It watches the service's name,
// reports when it goes away, and once a registration result has been handed to it passes on
// the service's Event signals of the registered types. Owned by whoever creates it.
class UTIL_TAPI_Device : public QObject {
    Q_OBJECT

public:
    explicit UTIL_TAPI_Device(QObject *parent = nullptr, const char *name = nullptr);
    ~UTIL_TAPI_Device() override;

    // 1 while org.kivo.Telephony has no owner on the bus (or there is no bus), else 0.
    int IsTapiInvalid() const;

    // Takes the non-negative result of TAPI_CLIENT_Init; events of the types registered by
    // that call are delivered from now on.
    virtual void SetClientHandle(int handle);

signals:
    void TAPI_SendEvent(UTIL_TAPI_Event *event);
    void TapiDeviceClosed();
    // org.kivo.Telephony has a new owner after a loss: a restarted service knows no earlier
    // client, so the program registers again.
    void TapiDeviceReopened();

private slots:
    void handleEvent(const QDBusMessage &message);

private:
    Q_DISABLE_COPY(UTIL_TAPI_Device)
    void setOwner(const QString &oldOwner, const QString &newOwner);

    QDBusServiceWatcher *m_watcher; // a child of the device
    // The unique bus name that owns org.kivo.Telephony; empty while nobody does.
    QString m_owner;
    // Set when an owner lets go of the name, until the next owner has been announced.
    bool m_lost = false;
    // Empty until SetClientHandle, so that nothing is passed on before it.
    QSet<quint16> m_types;
};
