#pragma once

#include <QProcess>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>
#include <QVariantList>

// What the tour plays on: a temporary KIVO_ROOT holding KIVO's feature flag on and the sample panic
// data, a private session bus, and the telephony and FTS engine simulators on that bus. Sets
// KIVO_ROOT and the bus address in this process's environment, so KIVO's objects built
// afterwards use them. The simulators and the bus daemon are ended by their PIDs.
class KIVO_TourStage {
public:
    // `binDir` holds the simulators and kivo-sample-data; their output goes to logs in `logDir`.
    KIVO_TourStage(const QString &binDir, const QString &logDir);
    ~KIVO_TourStage();

    bool setUp(QString *error);
    void tearDown();

    QString root() const;
    // Leaves the root in place at the end, for a look at the files KIVO wrote.
    void keepRoot();
    // A call of the telephony simulator's control interface org.kivo.Sim.Telephony.
    bool telephonyControl(const QString &method, const QVariantList &arguments, QString *error);
    // A call of the FTS engine simulator's control interface org.kivo.Sim.Fts.
    bool ftsControl(const QString &method, const QVariantList &arguments, QString *error);

private:
    Q_DISABLE_COPY(KIVO_TourStage)
    bool prepareRoot(QString *error);
    bool startBus(QString *error);
    bool startSimulator(QProcess &process, const QString &program, const QStringList &busNames,
                        QString *error);
    static void endByPid(QProcess &process);

    QString m_binDir;
    QString m_logDir;
    QTemporaryDir m_root;
    QProcess m_bus;
    QProcess m_telephony;
    QProcess m_fts;
};
