#include "PlConfig.h"

#include "PlFileStatus.h"
#include "PlRoot.h"
#include "PlSafeFile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLockFile>
#include <QTemporaryDir>

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

// The reason a store path cannot serve as a store: a link, not a regular file, someone else's,
// too large, or a lookup error other than "missing". Empty for a store that can or a missing one.
QString pathProblem(const QByteArray &rooted)
{
    return plUntrustedProblem(rooted.constData(), PlOwner::SelfOrRoot, PlConfig::sizeLimit);
}

// The store's bytes, read without following a link; empty for a missing store.
QString readStore(const QByteArray &rooted, QByteArray *content)
{
    content->clear();
    QString problem;
    const int fd =
        plOpenUntrusted(rooted.constData(), PlOwner::SelfOrRoot, PlConfig::sizeLimit, &problem);
    if (fd < 0) {
        return errno == ENOENT ? QString() : problem;
    }
    // The size was checked when it was opened; a file that grew since then is refused too.
    const bool whole = plReadBounded(fd, PlConfig::sizeLimit, content);
    const int error = errno;
    ::close(fd);
    if (!whole) {
        return content->size() >= PlConfig::sizeLimit
                   ? QStringLiteral("larger than %1 bytes").arg(PlConfig::sizeLimit)
                   : errorText(error);
    }
    return QString();
}

// Why the lock file beside a store cannot be taken within PlConfig::lockWaitMs, empty when it
// is held. A lock file that is a link or no regular file is never touched: QLockFile would read
// what it points to.
QString takeLock(QLockFile *lock, const QByteArray &lockPath, const QString &shownPath)
{
    const QString planted = plUntrustedProblem(lockPath.constData(), PlOwner::Anyone, 4096);
    if (!planted.isEmpty()) {
        return QStringLiteral("its lock file %1.lock is %2").arg(shownPath, planted);
    }
    if (lock->tryLock(PlConfig::lockWaitMs)) {
        return QString();
    }
    if (lock->error() == QLockFile::LockFailedError) {
        return QStringLiteral("its lock file %1.lock is held by another process").arg(shownPath);
    }
    // A read-only or full file system shows here first: name that, not the lock.
    const QString seen = PlConfig::writeProblem(shownPath);
    return seen.isEmpty() ? QStringLiteral("its lock file %1.lock could not be made").arg(shownPath)
                          : seen;
}

// The nearest directory that exists on the way up from `rooted`'s own one: a save creates the
// missing ones.
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

const char s_noCopy[] = "no private copy could be made";

// A private folder for the copy QSettings works on, which only this user can enter (mkdtemp,
// 0700), on a memory file system where there is one: a copy never costs a disk sync. The folder
// goes with the object, as soon as the copy has been read.
class ScratchFolder {
public:
    ScratchFolder() : m_dir(base() + QLatin1String("/kivo-config-XXXXXX"))
    {
    }

    // A QSettings that has read `content`, or null when no copy could be made.
    std::unique_ptr<QSettings> settings(const QByteArray &content)
    {
        const QString path = m_dir.filePath(QStringLiteral("store.ini"));
        QFile file(path);
        if (!m_dir.isValid() || !file.open(QIODevice::WriteOnly | QIODevice::NewOnly) ||
            file.write(content) != content.size() || !file.flush()) {
            return nullptr;
        }
        file.close();
        return std::make_unique<QSettings>(path, QSettings::IniFormat);
    }

private:
    static QString base()
    {
        const QString runtime = QFile::decodeName(qgetenv("XDG_RUNTIME_DIR"));
        for (const QString &candidate : {runtime, QStringLiteral("/dev/shm")}) {
            if (!candidate.isEmpty() && QFileInfo(candidate).isDir() &&
                QFileInfo(candidate).isWritable()) {
                return candidate;
            }
        }
        return QDir::tempPath();
    }

    QTemporaryDir m_dir;
};

} // namespace

PlConfig::PlConfig(const QString &path, bool readOnly)
    : m_path(path), m_rooted(QFile::encodeName(plRootedPath(path)))
{
    Q_UNUSED(readOnly);
    QByteArray content;
    m_unreadable = readStore(m_rooted, &content);
    if (m_unreadable.isEmpty()) {
        // QSettings reads the copy whole at once and keeps what it read.
        m_settings = ScratchFolder().settings(content);
        if (!m_settings) {
            m_unreadable = QString::fromLatin1(s_noCopy);
        }
    }
}

PlConfig::~PlConfig() = default;

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
    // The file is saved as a new file beside it, renamed over it, under a lock file.
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
                         plTraceEscaped(m_path).constData(), qPrintable(m_unreadable));
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

// Saves `key` into the store as it stands on disk now, under its lock: the store is read
// again, the key set in a private copy by QSettings, and that copy's bytes replace the store.
QString PlConfig::save(const QString &key, const QVariant &value)
{
    // QSettings made the store's missing folders when it saved in place; so does this.
    QDir().mkpath(QFileInfo(QFile::decodeName(m_rooted)).absolutePath());
    QLockFile lock(QFile::decodeName(m_rooted + ".lock"));
    QString problem = takeLock(&lock, m_rooted + ".lock", m_path);
    if (!problem.isEmpty()) {
        return problem;
    }
    QByteArray content;
    problem = readStore(m_rooted, &content);
    if (!problem.isEmpty()) {
        return problem;
    }
    // A store its owner made read-only stays as it is, though a rename could replace it.
    if (::access(m_rooted.constData(), F_OK) == 0 && ::access(m_rooted.constData(), W_OK) != 0) {
        return errorText(errno);
    }
    // QSettings edits a copy of its own, which is gone once its bytes are read.
    QByteArray saved;
    {
        ScratchFolder folder;
        const std::unique_ptr<QSettings> settings = folder.settings(content);
        if (!settings) {
            return QString::fromLatin1(s_noCopy);
        }
        settings->setValue(key, value);
        settings->sync();
        QFile copy(settings->fileName());
        if (settings->status() == QSettings::AccessError || !copy.open(QIODevice::ReadOnly)) {
            return QString::fromLatin1(s_noCopy);
        }
        saved = copy.read(2 * sizeLimit);
    }
    PlFileStatus status;
    const bool exists = plFileStatus(m_rooted.constData(), &status) == 0;
    const mode_t mode = exists ? (status.mode & 07777) : 0644;
    if (!plReplaceFile(m_rooted.constData(), saved, mode, &problem)) {
        // The system's reason alone can mislead ("Permission denied" of a folder): say more
        // where a check sees it.
        const QString seen = writeProblem(m_path);
        return seen.isEmpty() ? problem : seen;
    }
    // Later reads through this object see what was saved.
    m_settings = ScratchFolder().settings(saved);
    if (!m_settings) {
        m_unreadable = QString::fromLatin1(s_noCopy);
    }
    return QString();
}

void PlConfig::write(const QString &key, const QVariant &value, const QByteArray &shown)
{
    QString problem = m_unreadable;
    if (problem.isEmpty()) {
        problem = save(key, value);
    }
    if (!problem.isEmpty()) {
        std::fprintf(stderr, "[KIVO] PlConfig::writeEntry \"%s\"=%s not saved in %s: %s\r\n",
                     qPrintable(key.section(QLatin1Char('/'), 1)), shown.constData(),
                     plTraceEscaped(m_path).constData(), plTraceEscaped(problem).constData());
    }
}
