#pragma once

#include <QDBusConnection>
#include <QObject>

class KIVO_SimBusObject;
class KIVO_SimFts;

// The shell's handle on the FTS engine simulator: interface org.kivo.Sim.Fts on /org/kivo/Sim
// under the name org.kivo.Sim.Fts. Owned by main(); the simulator must outlive it.
class KIVO_SimFtsControl : public QObject {
    Q_OBJECT

public:
    explicit KIVO_SimFtsControl(KIVO_SimFts *sim, QObject *parent = nullptr);
    ~KIVO_SimFtsControl() override;

    bool start(const QDBusConnection &bus, QString *error);

private:
    void addMethods();

    Q_DISABLE_COPY(KIVO_SimFtsControl)
    KIVO_SimFts *m_sim;
    KIVO_SimBusObject *m_object; // child
};
