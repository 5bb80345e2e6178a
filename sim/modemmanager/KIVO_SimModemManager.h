#pragma once

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusVirtualObject>
#include <QHash>
#include <QList>
#include <QMap>
#include <QString>
#include <QStringList>
#include <QTimer>
#include <QVariantMap>

#include <optional>

// A stand-in for the ModemManager daemon on the system bus, written from its published D-Bus
// interface files: the object manager at /org/freedesktop/ModemManager1 and modems under
// Modem/N with the Modem, Modem3gpp and Location interfaces, their properties and signals,
// Command (debug mode only) and GetCellInfo. Each modem hears a list of LTE cells and camps on
// one; a Quectel lock (AT+QNWLOCK) moves it to a cell on the locked EARFCN, if there is one.
// Owned by main().
class KIVO_SimModemManager : public QDBusVirtualObject {
    Q_OBJECT

public:
    struct Cell {
        quint32 earfcn = 0;
        quint32 physicalCellId = 0;
        QString tac; // upper-case hex
        QString cellId;
    };
    // An AT answer set from the shell: the text, after a delay.
    struct AtAnswer {
        QString text;
        int delayMs = 0;
    };

    explicit KIVO_SimModemManager(QObject *parent = nullptr);
    ~KIVO_SimModemManager() override;

    // Serves the objects on `bus`; the name is taken by appear().
    bool start(const QDBusConnection &bus, QString *error);
    bool appear();
    // Gives the name up as a daemon that ends does; takes it back after `returnAfterMs`
    // (0: only on appear()).
    void vanish(int returnAfterMs);

    // A new modem; answers its object path.
    QString addModem(const QString &manufacturer, const QString &model, const QList<uint> &bands);
    bool removeModem(const QString &path);
    bool hasModem(const QString &path) const;
    void setState(const QString &path, int state);
    void setRegistration(const QString &path, uint registration);
    // The cells the modem hears; it camps on the first, unless locked elsewhere.
    void setCells(const QString &path, const QList<Cell> &cells);
    void setCellInfoSupported(const QString &path, bool supported);
    void setAtAnswer(const QString &path, const QString &command, const AtAnswer &answer);
    void setDebugMode(bool on);
    void setCampDelay(int ms);
    QStringList commands(const QString &path) const;
    QString status() const;

    bool handleMessage(const QDBusMessage &message, const QDBusConnection &connection) override;
    QString introspect(const QString &path) const override;

private:
    struct Modem {
        QString manufacturer;
        QString model;
        QList<uint> bands;
        int state = 8; // registered
        uint registration = 1;
        QList<Cell> cells;
        int serving = -1; // index into cells; -1 while camped on none
        bool cellInfo = true;
        uint locationEnabled = 0;
        bool signalsLocation = false;
        std::optional<quint32> lock;
        QHash<QString, AtAnswer> answers;
        QStringList commands;
    };

    QDBusMessage answerManager(const QDBusMessage &call);
    QDBusMessage answerModem(Modem &modem, const QString &path, const QDBusMessage &call);
    QDBusMessage answerCommand(Modem &modem, const QString &path, const QDBusMessage &call);
    QString runAt(Modem &modem, const QString &path, const QString &command);
    QDBusMessage answerCellInfo(const Modem &modem, const QDBusMessage &call);
    QVariantMap properties(const Modem &modem, const QString &interface) const;
    QMap<QString, QVariantMap> interfaces(const Modem &modem) const;
    QString location(const Modem &modem) const;
    void camp(const QString &path);
    void changed(const QString &path, const QString &interface, const QVariantMap &values);
    void locationMaybeChanged(const QString &path, const QString &before);
    void send(const QDBusMessage &message);

    Q_DISABLE_COPY(KIVO_SimModemManager)
    QDBusConnection m_bus;
    bool m_present = false;
    bool m_debugMode = true;
    int m_campDelayMs = 500;
    int m_nextModem = 0;
    QMap<QString, Modem> m_modems; // by object path
    QTimer m_returnTimer;
};
