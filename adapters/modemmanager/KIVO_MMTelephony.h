#pragma once

#include <QByteArray>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusVirtualObject>
#include <QHash>
#include <QList>
#include <QSet>
#include <QString>
#include <QTimer>

class KIVO_MMClient;

// The telephony service org.kivo.Telephony served from a ModemManager modem: owns the name
// while the modem is usable, registers clients and broadcasts their events, checks EARFCNs
// against the modem's LTE bands, and turns the cell sticker into the Quectel LTE lock with its
// outcome events. Owned by main(); the client it reads must outlive it.
class KIVO_MMTelephony : public QDBusVirtualObject {
    Q_OBJECT

public:
    KIVO_MMTelephony(KIVO_MMClient *client, const QDBusConnection &sessionBus, int lockTimeoutMs,
                     QObject *parent = nullptr);
    ~KIVO_MMTelephony() override;

    // Serves the object and follows the modem; false, with the reason, when the object cannot
    // be served.
    bool start(QString *error);

    bool handleMessage(const QDBusMessage &message, const QDBusConnection &connection) override;
    QString introspect(const QString &path) const override;

private:
    void updateOwnership();
    void probeModem();
    void traceCapabilities();
    bool isQuectel() const;
    bool canLock() const;
    bool canReadCell() const;

    void registerClient(const QDBusMessage &call);
    void checkArfcn(const QDBusMessage &call);
    void setCellStickerMode(const QDBusMessage &call);
    void answerSticker(const QDBusMessage &call, quint8 mode, quint32 earfcn,
                       const QDBusMessage &reply);
    void setCellBarAccessMode(const QDBusMessage &call);
    void getCapabilities(const QDBusMessage &call);

    void startWatch(quint32 earfcn);
    void checkServingCell();
    void servingCellRead(quint32 earfcn, const QString &cellId, const QString &area);
    void finishWatch(quint32 code, const QString &cellId = {}, const QString &area = {});
    void sendStickerEvent(quint32 code, quint32 earfcn, const QString &cellId = {},
                          const QString &area = {});

    void reply(const QDBusMessage &call, const QVariantList &values);
    void replyError(const QDBusMessage &call, const QString &name, const QString &text);

    Q_DISABLE_COPY(KIVO_MMTelephony)
    KIVO_MMClient *m_client;
    QDBusConnection m_bus;
    int m_lockTimeoutMs;
    bool m_owning = false;
    QHash<QString, QSet<quint16>> m_clients; // unique name -> event types
    int m_nextHandle = 1;

    // What the modem was found able to do when it appeared.
    uint m_generation = 0; // counts appearances, so that late probe answers are dropped
    int m_probesLeft = 0;
    bool m_debugMode = false;
    bool m_cellInfoCall = false;
    QString m_lastCapabilities;

    // The sticker: the locked EARFCN is watched until the modem camps on it or time runs out.
    bool m_watching = false;
    bool m_checking = false;
    quint32 m_lockedEarfcn = 0;
    QTimer m_deadline;
    QTimer m_poll;
};
