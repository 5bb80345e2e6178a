#pragma once

#include <QTemporaryDir>

#include <memory>

class ScratchMount;

// A temporary KIVO_ROOT for one test program: set on construction, removed with the object.
// VEK_APP_WRITE_PATH is unset so that the settings file takes its default path under the root.
class KivoTestRoot {
public:
    KivoTestRoot();
    ~KivoTestRoot();

    bool isValid() const;
    QString root() const;
    // The device path `path` under the root.
    QString path(const QString &devicePath) const;

    // Writes /etc/kivo/flexbits with the given content.
    void writeFlexBits(const QByteArray &content) const;
    // Writes a file (and its directories) at the device path.
    void writeFile(const QString &devicePath, const QByteArray &content) const;
    QByteArray readFile(const QString &devicePath) const;
    bool exists(const QString &devicePath) const;
    void remove(const QString &devicePath) const;

    // Puts `hazard` in the way of the store at the device path `store`: "full mount" or
    // "read-only mount" (the store holding `content` on a 16 KiB tmpfs, kept in `*mount`, filled
    // or remounted read-only), "read-only file" (holding `content`), "parent is a file", "fifo",
    // "directory" or "device" (a link to /dev/null); holding `content`: "foreign owner" (given
    // to user 65534), "too large" (one byte past 64 KiB, sparse), "live lock" (a lock file of a
    // live process beside it), "link to a file" or "linked lock" (the store or its lock a link
    // to `<store>.target`, holding `content`). False when a step failed; `*skip` says why the
    // test must skip (no mount allowed; root writes a read-only file; only root gives files
    // away).
    bool placeHazard(const QString &store, const QString &hazard, const QByteArray &content,
                     std::unique_ptr<ScratchMount> *mount, QString *skip) const;

    // The settings file's device path with VEK_APP_WRITE_PATH unset.
    static QString defaultIniPath();

private:
    QTemporaryDir m_dir;
};

// Sets the modification time of the file at `nativePath` (its bytes), past January 2038 too
// where time_t has 32 bits (armhf), which QFile::setFileTime cannot do there.
bool setModifiedTime(const QByteArray &nativePath, qint64 secondsSinceEpoch);
