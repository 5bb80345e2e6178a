#pragma once

#include <QSettings>
#include <QString>

#include <memory>

// The platform's ini-file config store: groups of integer keys in a QSettings ini file.
// Callers open one object per operation and destroy it at the end; QSettings saves through a
// temporary file and a rename under a lock file, so a file is never left half written.
//
// The store is opened only when its path is a regular file or missing: anything else (a FIFO,
// a directory, a device) would block or mislead QSettings, so it reads as the defaults and
// refuses writes. Each object traces such a store once, on its first read. A write that is not
// saved leaves one trace line naming the key and the reason.
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

    // Why the store at the device path `path` could not be read now ("not a regular file",
    // "Permission denied"), empty when it can or is simply missing. Opens nothing.
    static QString readProblem(const QString &path);
    // What stands in the way of saving the store at the device path `path` now ("Read-only
    // file system", "No space left on device", ...), empty when nothing is seen. Writes
    // nothing and creates nothing.
    static QString writeProblem(const QString &path);

private:
    Q_DISABLE_COPY(PlConfig)
    void write(const QString &key, const QVariant &value, const QByteArray &shown);

    QString m_path;
    QString m_unreadable;
    mutable bool m_traced = false;
    std::unique_ptr<QSettings> m_settings;
};
