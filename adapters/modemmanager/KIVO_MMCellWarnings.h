#pragma once

#include <QDBusConnection>
#include <QDBusMessage>
#include <QObject>
#include <QString>

class KIVO_MMClient;

// The cell change warnings the platform owes the engineer: each move of the modem to another
// serving cell posts a desktop notification and asks for a feedback tone, as KIVO's own
// settings ask. Owned by main(); the client it follows must outlive it.
class KIVO_MMCellWarnings : public QObject {
    Q_OBJECT

public:
    KIVO_MMCellWarnings(KIVO_MMClient *client, const QDBusConnection &sessionBus,
                        QObject *parent = nullptr);
    ~KIVO_MMCellWarnings() override;

    // The notification body for a move between two 3GPP locations ("MCC,MNC,LAC,CI,TAC"); empty
    // when it is no change of cell (same cell, or either end unknown).
    static QString describeChange(const QString &previous, const QString &current);

private:
    void locationChanged(const QString &previous, const QString &current);
    void notify(const QString &body);
    void askForTone();
    // Sends `message` to a service the phone may lack; a failed call is traced by `missingTrace`
    // (%1 the error name) once, until the service answers again; `missing` is its flag here.
    void callOptional(const QDBusMessage &message, bool *missing, const QString &missingTrace);

    Q_DISABLE_COPY(KIVO_MMCellWarnings)
    QDBusConnection m_bus;
    bool m_notificationsMissing = false; // traced once until the service answers again
    bool m_feedbackMissing = false;
};
