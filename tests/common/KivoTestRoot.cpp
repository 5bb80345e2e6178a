#include "KivoTestRoot.h"

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
