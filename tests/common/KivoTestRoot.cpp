#include "KivoTestRoot.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

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
