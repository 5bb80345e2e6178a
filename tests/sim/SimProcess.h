#pragma once

#include <QProcess>

// One run of a simulator program for a test: started with its arguments, ready once its bus
// name has an owner, ended by its PID (at the latest by the destructor).
class SimProcess {
public:
    SimProcess(const QString &program, const QString &busName);
    ~SimProcess();

    // True once the bus name is owned; false when the program ended or never took it.
    bool start(const QStringList &arguments = {});
    // Sends SIGTERM to the PID and waits for the end, and until the bus has let go of the
    // program's names, so that the next run can take them.
    void stop();
    // All the program wrote to stdout so far.
    QByteArray output();

private:
    QProcess m_process;
    QString m_busName;
    QString m_uniqueName;
    QByteArray m_output;
};
