#pragma once

#include <QDBusConnection>
#include <QObject>

class KIVO_SimBusObject;
class KIVO_SimModemManager;

// The shell's handle on the ModemManager stand-in: interface org.kivo.Sim.ModemManager on
// /org/kivo/Sim under its own name on the session bus, which stays while the daemon's name
// comes and goes on the system bus. Owned by main(); the stand-in must outlive it.
class KIVO_SimModemManagerControl : public QObject {
    Q_OBJECT

public:
    explicit KIVO_SimModemManagerControl(KIVO_SimModemManager *sim, QObject *parent = nullptr);
    ~KIVO_SimModemManagerControl() override;

    bool start(const QDBusConnection &bus, QString *error);

private:
    void addMethods();

    Q_DISABLE_COPY(KIVO_SimModemManagerControl)
    KIVO_SimModemManager *m_sim;
    KIVO_SimBusObject *m_object; // child
};
