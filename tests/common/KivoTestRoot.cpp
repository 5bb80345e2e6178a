#include "KivoTestRoot.h"

#include "ScratchMount.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <cstdint>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

KivoTestRoot::KivoTestRoot() : m_dir(QDir::tempPath() + QStringLiteral("/kivo-root-XXXXXX"))
{
    qputenv("KIVO_ROOT", m_dir.path().toLocal8Bit());
    qunsetenv("VEK_APP_WRITE_PATH");
}

KivoTestRoot::~KivoTestRoot()
{
    qunsetenv("KIVO_ROOT");
}

bool KivoTestRoot::isValid() const
{
    return m_dir.isValid();
}

QString KivoTestRoot::root() const
{
    return m_dir.path();
}

QString KivoTestRoot::path(const QString &devicePath) const
{
    return m_dir.path() + devicePath;
}

void KivoTestRoot::writeFlexBits(const QByteArray &content) const
{
    writeFile(QStringLiteral("/etc/kivo/flexbits"), content);
}

void KivoTestRoot::writeFile(const QString &devicePath, const QByteArray &content) const
{
    const QString full = path(devicePath);
    QDir().mkpath(QFileInfo(full).absolutePath());
    QFile file(full);
    if (file.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
        file.write(content);
    }
}

QByteArray KivoTestRoot::readFile(const QString &devicePath) const
{
    QFile file(path(devicePath));
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

bool KivoTestRoot::exists(const QString &devicePath) const
{
    return QFileInfo::exists(path(devicePath));
}

void KivoTestRoot::remove(const QString &devicePath) const
{
    QFile::remove(path(devicePath));
}

bool KivoTestRoot::placeHazard(const QString &store, const QString &hazard,
                               const QByteArray &content, std::unique_ptr<ScratchMount> *mount,
                               QString *skip) const
{
    const QString full = path(store);
    if (hazard.endsWith(QLatin1String("mount"))) {
        *mount = std::make_unique<ScratchMount>(QFileInfo(full).absolutePath(), 16);
        if (!(*mount)->isMounted()) {
            *skip = (*mount)->error();
            return true;
        }
        writeFile(store, content);
        return hazard.startsWith(QLatin1String("full")) ? (*mount)->fill()
                                                        : (*mount)->remountReadOnly();
    }
    if (hazard == QLatin1String("read-only file")) {
        if (::geteuid() == 0) {
            *skip = QStringLiteral("root writes a read-only file all the same");
            return true;
        }
        writeFile(store, content);
        return QFile::setPermissions(full, QFile::ReadOwner);
    }
    if (hazard == QLatin1String("parent is a file")) {
        writeFile(QFileInfo(store).path(), "not a directory");
        return true;
    }
    if (hazard == QLatin1String("foreign owner")) {
        if (::geteuid() != 0) {
            *skip = QStringLiteral("only root can give a file to another user");
            return true;
        }
        writeFile(store, content);
        return ::chown(QFile::encodeName(full).constData(), 65534, 65534) == 0;
    }
    if (hazard == QLatin1String("too large")) {
        writeFile(store, content);
        return QFile::resize(full, 64 * 1024 + 1);
    }
    if (hazard == QLatin1String("live lock")) {
        // Held by a live process (this one) of this host, as QLockFile writes it: its PID and
        // program, which must match for the lock to count as live.
        writeFile(store, content);
        writeFile(store + QLatin1String(".lock"),
                  QByteArray::number(qint64(::getpid())) + '\n' +
                      QFile::encodeName(QFile::symLinkTarget(QStringLiteral("/proc/self/exe"))) +
                      "\n\n");
        return true;
    }
    if (hazard == QLatin1String("link to a file") || hazard == QLatin1String("linked lock")) {
        // The link leads to a file of the root: a store that followed it would change that.
        writeFile(store, content);
        const QString linkAt =
            hazard.startsWith(QLatin1String("link ")) ? full : full + QLatin1String(".lock");
        writeFile(store + QLatin1String(".target"), content);
        QFile::remove(linkAt);
        return QFile::link(full + QLatin1String(".target"), linkAt);
    }
    QDir().mkpath(QFileInfo(full).absolutePath());
    if (hazard == QLatin1String("fifo")) {
        return ::mkfifo(QFile::encodeName(full).constData(), 0644) == 0;
    }
    if (hazard == QLatin1String("directory")) {
        return QDir().mkpath(full);
    }
    return hazard == QLatin1String("device") && QFile::link(QStringLiteral("/dev/null"), full);
}

QString KivoTestRoot::defaultIniPath()
{
    return QStringLiteral("/vek_user/download/appwrite//kivo/kivo.ini");
}

bool setModifiedTime(const QByteArray &nativePath, qint64 secondsSinceEpoch)
{
#ifdef SYS_utimensat_time64
    if (sizeof(time_t) < 8) {
        // The kernel's own 64-bit timespec: access and modification time.
        const int64_t times[4] = {secondsSinceEpoch, 0, secondsSinceEpoch, 0};
        return syscall(SYS_utimensat_time64, AT_FDCWD, nativePath.constData(), times, 0) == 0;
    }
#endif
    const struct timespec times[2] = {{time_t(secondsSinceEpoch), 0},
                                      {time_t(secondsSinceEpoch), 0}};
    return utimensat(AT_FDCWD, nativePath.constData(), times, 0) == 0;
}
