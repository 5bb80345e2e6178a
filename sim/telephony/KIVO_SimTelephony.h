#pragma once

#include "KIVO_GsmBands.h"
#include "KIVO_SimBusObject.h"
#include "KIVO_SimCellList.h"

#include <QByteArray>
#include <QDBusConnection>
#include <QHash>
#include <QList>
#include <QObject>
#include <QSet>
#include <QString>
#include <QTimer>

#include <optional>

// The simulated telephony service: the object /org/kivo/Telephony with the interface
// org.kivo.Telephony, the radio layer behind it (bands, the cells it hears, the cell bar
// mode) and the knobs that make it misbehave on purpose. Owned by main().
class KIVO_SimTelephony : public QObject {
    Q_OBJECT

public:
    enum class Delivery {
        Broadcast,  // every Event goes to every listener
        Registered, // each Event goes to the clients registered for its type
    };

    KIVO_SimTelephony(const KIVO_SimCellList &cells, const QString &cellsPath,
                      const KIVO_GsmBands &bands, QObject *parent = nullptr);
    ~KIVO_SimTelephony() override;

    // Puts the object on the bus; the service name is taken by appear().
    bool start(const QDBusConnection &bus, QString *error);
    // Takes org.kivo.Telephony; false when someone else holds it.
    bool appear();
    // Gives the name up, forgets the registered clients and the outcomes not yet sent; takes
    // the name back after returnAfterMs (0: only on appear()).
    void vanish(int returnAfterMs);
    bool isPresent() const;

    static bool isMethodName(const QString &method);
    // A forced answer replaces the real one for the next `count` calls (0: until cleared) of
    // the method ("all" for every method). The request is carried out only when the forced
    // answer is a success: status 0, or a non-negative Register handle.
    void forceStatus(const QString &method, int status, uint count);
    void forceError(const QString &method, const QString &errorName, uint count);
    void forceWrongSignature(const QString &method, uint count);
    void clearForced();
    // The next `count` sticker outcomes (0: all) carry this result code alone.
    void forceEvent(quint32 code, uint count);

    void injectEvent(quint16 type, const QByteArray &data);
    // A sticker outcome with this code for the ARFCN of the last request.
    void injectStickerResult(quint32 code);

    void setReplyDelay(const QString &method, int ms);
    void setOutcomeDelay(int ms);
    void setScanning(bool on);
    void setBands(const KIVO_GsmBands &bands);
    void setDelivery(Delivery delivery);
    void setCellBarAccessMode(int mode);

    int cellBarAccessMode() const;
    QByteArray lastStickerRequest() const;
    uint callCount(const QString &method) const;
    QString status() const;

private:
    struct Forced {
        enum class Kind { Status, Error, WrongSignature };
        Kind kind = Kind::Status;
        int status = 0;
        QString errorName;
        uint remaining = 0; // 0: until cleared
    };
    struct Outcome {
        quint16 type = 0;
        QByteArray data;
    };

    void addMethods();
    // What a forced answer makes of a call: a whole reply (an error, a wrong signature), a
    // status in place of the real one, or nothing.
    struct ForcedAnswer {
        std::optional<KIVO_SimReply> reply;
        std::optional<int> status;
    };
    ForcedAnswer takeForced(const QDBusMessage &call);
    KIVO_SimReply registerClient(const QDBusMessage &call);
    KIVO_SimReply setCellStickerMode(const QDBusMessage &call);
    KIVO_SimReply checkArfcn(const QDBusMessage &call);
    KIVO_SimReply setCellBarAccessMode(const QDBusMessage &call);

    QList<quint32> stickerResults(quint8 mode, quint32 arfcn);
    QByteArray stickerEventData(quint32 code, quint32 arfcn) const;
    void queueOutcomes(const QList<Outcome> &outcomes);
    void sendNextOutcome();
    void sendEvent(quint16 type, const QByteArray &data);

    Q_DISABLE_COPY(KIVO_SimTelephony)
    QDBusConnection m_bus;
    KIVO_SimBusObject *m_service; // child
    KIVO_SimCellList m_cells;
    QString m_cellsPath;
    KIVO_GsmBands m_bands;
    bool m_present = false;
    Delivery m_delivery = Delivery::Broadcast;
    QHash<QString, QSet<quint16>> m_clients; // unique name -> registered event types
    int m_nextHandle = 1;
    int m_cellBarMode = 0;
    QByteArray m_lastStickerRequest;
    QHash<QString, uint> m_calls;
    QHash<QString, Forced> m_forced;
    std::optional<quint32> m_forcedEvent;
    uint m_forcedEventsLeft = 0; // 0: until cleared
    bool m_scanning = false;
    int m_outcomeDelay = 300;
    QList<Outcome> m_outcomes;
    QTimer m_outcomeTimer;
    QTimer m_returnTimer;
};
