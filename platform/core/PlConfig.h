#pragma once

#include <QSettings>
#include <QString>

#include <memory>

// The platform's ini-file config store: groups of integer keys in a QSettings ini file.
// Callers open one object per operation and destroy it at the end.
//
// A store may sit in a world-writable folder ("/tmp/kivo"), so its path is never followed:
// it is read only when it is a regular file (not a symbolic link) of the effective user or
// root, of at most PlConfig::sizeLimit bytes, or missing. Anything else reads as the defaults
// and refuses writes (nothing in it is lost); each object traces such a store once, on its
// first read. QSettings reads and edits a private copy; a write takes the store's lock file for
// at most about a second, then renames a new file, in QSettings' own ini format, over the
// path, so a file is never left half written and a planted link is replaced, not followed.
// A write that is not saved leaves one trace line naming the key and the reason.
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

    // No real store comes near this size: a larger file is someone else's.
    static constexpr qint64 sizeLimit = 64 * 1024;
    // How long a write waits for the store's lock file before it gives up.
    static constexpr int lockWaitMs = 1000;

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
    QString save(const QString &key, const QVariant &value);

    QString m_path;
    QByteArray m_rooted;
    QString m_unreadable;
    mutable bool m_traced = false;
    std::unique_ptr<QSettings> m_settings; // on a private copy of the store
};
