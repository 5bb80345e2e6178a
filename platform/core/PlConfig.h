#pragma once

#include <QSettings>
#include <QString>

// The platform's ini-file config store: groups of integer keys in a QSettings ini file.
// Callers open one object per operation and destroy it at the end; QSettings saves through a
// temporary file and a rename under a lock file, so a file is never left half written.
class PlConfig {
public:
    // `path` is the device path; the store opens it under KIVO_ROOT. The flag is unused and
    // kept for the callers' sake.
    PlConfig(const QString &path, bool readOnly);
    ~PlConfig();

    // A missing file or key, or a value that is no integer, yields `defaultValue`.
    int readNumEntry(const QString &group, const QString &key, int defaultValue) const;
    void writeEntry(const QString &group, const QString &key, int value);
    void writeEntry(const QString &group, const QString &key, unsigned int value);

private:
    Q_DISABLE_COPY(PlConfig)
    QSettings m_settings;
};
