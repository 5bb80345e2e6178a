#include "PlConfig.h"

#include "PlFileStatus.h"
#include "PlRoot.h"

#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <cstdio>
#include <cstring>

#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

namespace {

QString errorText(int error)
{
    return QString::fromLocal8Bit(std::strerror(error));
}

// The reason a store path cannot serve as a store: not a regular file, or a lookup error
// other than "missing". Empty for a regular file or a missing one.
QString pathProblem(const QByteArray &rooted)
{
    PlFileStatus status;
    if (plFileStatus(rooted.constData(), &status) != 0) {
        return errno == ENOENT ? QString() : errorText(errno);
    }
    return S_ISREG(status.mode) ? QString() : QStringLiteral("not a regular file");
}

// The nearest directory that exists on the way up from `rooted`'s own one: QSettings creates
// the missing ones when it saves.
QByteArray existingDirectory(const QByteArray &rooted, int *error)
{
    QString directory = QFileInfo(QString::fromLocal8Bit(rooted)).absolutePath();
    for (;;) {
        PlFileStatus status;
        if (plFileStatus(QFile::encodeName(directory).constData(), &status) == 0) {
            *error = S_ISDIR(status.mode) ? 0 : ENOTDIR;
            return QFile::encodeName(directory);
        }
        if (errno != ENOENT || directory == QLatin1String("/")) {
            *error = errno;
            return QFile::encodeName(directory);
        }
        directory = QFileInfo(directory).absolutePath();
    }
}

} // namespace

PlConfig::PlConfig(const QString &path, bool readOnly)
    : m_path(path), m_unreadable(readProblem(path))
{
    Q_UNUSED(readOnly);
    if (m_unreadable.isEmpty()) {
        m_settings = std::make_unique<QSettings>(plRootedPath(path), QSettings::IniFormat);
    }
}

PlConfig::~PlConfig()
{
    if (m_settings) {
        m_settings->sync();
    }
}

QString PlConfig::readProblem(const QString &path)
{
    return pathProblem(QFile::encodeName(plRootedPath(path)));
}

QString PlConfig::writeProblem(const QString &path)
{
    const QByteArray rooted = QFile::encodeName(plRootedPath(path));
    const QString problem = pathProblem(rooted);
    if (!problem.isEmpty()) {
        return problem;
    }
    if (::access(rooted.constData(), F_OK) == 0 && ::access(rooted.constData(), W_OK) != 0) {
        return errorText(errno);
    }
    // The file is saved as a temporary file beside it, renamed over it, under a lock file.
    int error = 0;
    const QByteArray directory = existingDirectory(rooted, &error);
    if (error != 0) {
        return errorText(error);
    }
    if (::access(directory.constData(), W_OK | X_OK) != 0) {
        return errorText(errno);
    }
    struct statvfs space;
    if (::statvfs(directory.constData(), &space) == 0) {
        const auto blocks = ::geteuid() == 0 ? space.f_bfree : space.f_bavail;
        if (blocks == 0 || space.f_favail == 0) {
            return errorText(ENOSPC);
        }
    }
    return QString();
}

int PlConfig::readNumEntry(const QString &group, const QString &key, int defaultValue) const
{
    if (!m_settings) {
        if (!m_traced) {
            m_traced = true;
            std::fprintf(stderr, "[KIVO] PlConfig %s unreadable: %s, defaults used\r\n",
                         qPrintable(m_path), qPrintable(m_unreadable));
        }
        return defaultValue;
    }
    const QVariant value = m_settings->value(group + QLatin1Char('/') + key);
    if (!value.isValid()) {
        return defaultValue;
    }
    bool ok = false;
    const qlonglong number = value.toString().trimmed().toLongLong(&ok, 10);
    return ok ? static_cast<int>(number) : defaultValue;
}

void PlConfig::writeEntry(const QString &group, const QString &key, int value)
{
    write(group + QLatin1Char('/') + key, value, QByteArray::number(value));
}

void PlConfig::writeEntry(const QString &group, const QString &key, unsigned int value)
{
    write(group + QLatin1Char('/') + key, value, QByteArray::number(value));
}

void PlConfig::write(const QString &key, const QVariant &value, const QByteArray &shown)
{
    QString problem = m_unreadable;
    if (m_settings) {
        m_settings->setValue(key, value);
        m_settings->sync();
        const QSettings::Status status = m_settings->status();
        if (status != QSettings::NoError) {
            // A format error only says the file held something odd; it also hides a later
            // access error, so look for what would stop a save either way.
            problem = writeProblem(m_path);
            if (problem.isEmpty() && status == QSettings::AccessError) {
                problem = QStringLiteral("the file could not be saved");
            }
        }
    }
    if (!problem.isEmpty()) {
        std::fprintf(stderr, "[KIVO] PlConfig::writeEntry \"%s\"=%s not saved in %s: %s\r\n",
                     qPrintable(key.section(QLatin1Char('/'), 1)), shown.constData(),
                     qPrintable(m_path), qPrintable(problem));
    }
}
