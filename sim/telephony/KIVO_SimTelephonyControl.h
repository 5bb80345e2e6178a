#pragma once

#include <QDBusConnection>
#include <QObject>

class KIVO_SimBusObject;
class KIVO_SimTelephony;

// The shell's handle on the telephony simulator: interface org.kivo.Sim.Telephony on
// /org/kivo/Sim under its own name org.kivo.Sim.Telephony, which stays on the bus while the
// service name comes and goes. Owned by main(); the simulator must outlive it.
class KIVO_SimTelephonyControl : public QObject {
    Q_OBJECT

public:
    explicit KIVO_SimTelephonyControl(KIVO_SimTelephony *sim, QObject *parent = nullptr);
    ~KIVO_SimTelephonyControl() override;

    bool start(const QDBusConnection &bus, QString *error);

private:
    void addMethods();

    Q_DISABLE_COPY(KIVO_SimTelephonyControl)
    KIVO_SimTelephony *m_sim;
    KIVO_SimBusObject *m_object; // child
};
