#include "KIVO_PanicBundle.h"

#include "KIVO_CrashFiles.h"
#include "KIVO_CrashText.h"
#include "KIVO_PanicSource.h"
#include "KIVO_PanicText.h"
#include "PlFileStatus.h"
#include "PlRoot.h"
#include "PlSafeFile.h"

#include <QCoreApplication>
#include <QCryptographicHash>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QList>
#include <QPair>

#include <archive.h>
#include <archive_entry.h>

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <limits>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// Each copied file is cut at what a real one of its kind can reach, and the cut is recorded:
// the settings files at what KIVO reads of them, the module table at what the reader takes,
// the kernel report at the largest panic partition, a panic log or a core dump far above any
// real one.
constexpr qint64 s_settingsLimit = 64 * 1024;
constexpr qint64 s_moduleTableLimit = qint64(PANIC_TABLE_READ_MAX);
constexpr qint64 s_kernelReportLimit = qint64(PANIC_KERNEL_REPORT_MAX);
constexpr qint64 s_panicLogLimit = 16 * 1024 * 1024;
constexpr qint64 s_dumpLimit = qint64(1) << 30;
constexpr qint64 s_chunkSize = 64 * 1024;

const char *const s_settingsVolatile = "/tmp/kivo";

// Writes tar.gz members through libarchive into an open file and keeps the SHA-256 of each.
// Every write to the file is checked; the first failure is kept and ends the archive.
class ArchiveWriter {
public:
    explicit ArchiveWriter(int fd) : m_fd(fd), m_archive(archive_write_new())
    {
        archive_write_add_filter_gzip(m_archive);
        archive_write_set_format_pax_restricted(m_archive);
        // Each block goes to the file as it is made, so a failure shows at once.
        archive_write_set_bytes_in_last_block(m_archive, 1);
        if (archive_write_open(m_archive, this, nullptr, &ArchiveWriter::writeCallback, nullptr) !=
            ARCHIVE_OK) {
            fail();
        }
    }
    ~ArchiveWriter()
    {
        archive_write_free(m_archive);
    }
    ArchiveWriter(const ArchiveWriter &) = delete;
    ArchiveWriter &operator=(const ArchiveWriter &) = delete;

    bool add(const QByteArray &member, const QByteArray &content, qint64 modified)
    {
        QCryptographicHash hash(QCryptographicHash::Sha256);
        hash.addData(content);
        if (!header(member, content.size(), modified) || !data(content)) {
            return false;
        }
        m_sums << qMakePair(member, hash.result().toHex());
        return true;
    }

    // Streams `size` bytes of an open file in chunks, never holding more than one; a file that
    // shrank meanwhile is padded with zeros so the member keeps the size its header gave.
    bool addStream(const QByteArray &member, int fd, qint64 size, qint64 modified)
    {
        QCryptographicHash hash(QCryptographicHash::Sha256);
        if (!header(member, size, modified)) {
            return false;
        }
        QByteArray chunk(int(s_chunkSize), '\0');
        qint64 left = size;
        bool atEnd = false;
        while (left > 0) {
            const int wanted = int(std::min(left, s_chunkSize));
            ssize_t got = 0;
            if (!atEnd) {
                got = read(fd, chunk.data(), size_t(wanted));
                if (got < 0 && errno == EINTR) {
                    continue;
                }
                atEnd = got <= 0;
            }
            if (got <= 0) {
                std::memset(chunk.data(), 0, size_t(wanted));
                got = wanted;
            }
            const QByteArray piece = QByteArray::fromRawData(chunk.constData(), int(got));
            hash.addData(piece);
            if (!data(piece)) {
                return false;
            }
            left -= got;
        }
        m_sums << qMakePair(member, hash.result().toHex());
        return true;
    }

    // The manifest in the format of sha256sum, so that `sha256sum -c` checks the unpacked
    // bundle from inside its top directory.
    QByteArray manifest(const QByteArray &topDir) const
    {
        QByteArray text;
        for (const auto &sum : m_sums) {
            QByteArray name = sum.first.mid(topDir.size() + 1);
            // sha256sum's own escape for names holding a backslash or a line break.
            const bool escaped = name.contains('\\') || name.contains('\n') || name.contains('\r');
            if (escaped) {
                name.replace("\\", "\\\\").replace("\n", "\\n").replace("\r", "\\r");
                text += '\\';
            }
            text += sum.second + "  " + name + '\n';
        }
        return text;
    }

    bool close()
    {
        if (archive_write_close(m_archive) != ARCHIVE_OK) {
            return fail();
        }
        return m_ok;
    }

    QString error() const
    {
        return m_error;
    }

private:
    static la_ssize_t writeCallback(struct archive *, void *client, const void *buffer,
                                    size_t length)
    {
        auto *writer = static_cast<ArchiveWriter *>(client);
        const char *bytes = static_cast<const char *>(buffer);
        size_t done = 0;
        while (done < length) {
            const ssize_t written = ::write(writer->m_fd, bytes + done, length - done);
            if (written < 0 && errno == EINTR) {
                continue;
            }
            if (written <= 0) {
                writer->m_writeError = written < 0 ? errno : ENOSPC;
                return -1;
            }
            done += size_t(written);
        }
        return la_ssize_t(length);
    }

    // The name goes in as its bytes: a dump name that is not UTF-8 must not become another.
    bool header(const QByteArray &member, qint64 size, qint64 modified)
    {
        struct archive_entry *entry = archive_entry_new();
        archive_entry_set_pathname(entry, member.constData());
        archive_entry_set_filetype(entry, AE_IFREG);
        archive_entry_set_perm(entry, 0644);
        archive_entry_set_size(entry, size);
        // The archive library takes a time_t: on armhf, 32 bits, and a time after January 2038
        // is stored as the latest it holds (dumps.json keeps every dump's true time).
        constexpr qint64 latest = std::numeric_limits<time_t>::max();
        archive_entry_set_mtime(entry, time_t(std::clamp(modified, -latest - 1, latest)), 0);
        const int result = archive_write_header(m_archive, entry);
        archive_entry_free(entry);
        // A name that is not UTF-8 is stored as its bytes (pax's hdrcharset=BINARY) with a
        // warning: the member is written all the same.
        return result == ARCHIVE_OK || result == ARCHIVE_WARN || fail();
    }

    bool data(const QByteArray &bytes)
    {
        if (bytes.isEmpty()) {
            return true;
        }
        return archive_write_data(m_archive, bytes.constData(), size_t(bytes.size())) ==
                   la_ssize_t(bytes.size()) ||
               fail();
    }

    bool fail()
    {
        if (m_ok) {
            m_error = m_writeError != 0 ? QString::fromLocal8Bit(std::strerror(m_writeError))
                                        : QString::fromLocal8Bit(archive_error_string(m_archive));
        }
        m_ok = false;
        return false;
    }

    int m_fd;
    struct archive *m_archive;
    QList<QPair<QByteArray, QByteArray>> m_sums;
    bool m_ok = true;
    int m_writeError = 0;
    QString m_error;
};

// A raw source opened for the bundle: without blocking, and only a regular file (or, with
// `blockDevice`, a block device); anything else counts as missing. `size` is what is copied.
struct RawFile {
    int fd = -1;
    qint64 size = 0;
    qint64 fullSize = 0; // the source's own size, more than `size` when cut
    qint64 modified = 0;
    ~RawFile()
    {
        if (fd >= 0) {
            ::close(fd);
        }
    }
};

// True when the folder holding `path` can be written by anyone: a file there may have been
// planted or swapped by another user.
bool inWorldWritableFolder(const QByteArray &path)
{
    PlFileStatus folder;
    const QByteArray parent = QFile::encodeName(QFileInfo(QFile::decodeName(path)).absolutePath());
    return plFileStatus(parent.constData(), &folder) != 0 || (folder.mode & S_IWOTH) != 0;
}

bool openRaw(const QByteArray &path, bool blockDevice, qint64 limit, RawFile *raw)
{
    if (inWorldWritableFolder(path)) {
        // Neither followed nor taken from another user: a link there could lead to any file
        // the bundle's user may read.
        QString problem;
        raw->fd = plOpenUntrusted(path.constData(), PlOwner::SelfOrRoot, -1, &problem);
    } else {
        raw->fd = open(path.constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    }
    if (raw->fd < 0) {
        return false;
    }
    PlFileStatus info;
    if (plFileStatus(raw->fd, &info) != 0) {
        return false;
    }
    if (S_ISREG(info.mode)) {
        raw->size = info.size;
    } else if (blockDevice && S_ISBLK(info.mode)) {
        const off_t end = lseek(raw->fd, 0, SEEK_END);
        if (end < 0 || lseek(raw->fd, 0, SEEK_SET) != 0) {
            return false;
        }
        raw->size = end;
    } else {
        return false;
    }
    raw->fullSize = raw->size;
    raw->size = std::min(raw->size, limit);
    raw->modified = info.modified;
    return true;
}

// The member path of a device path under "files/": no leading slash, no "." or ".." steps.
QString filesMember(const QString &devicePath)
{
    QStringList parts;
    for (const QString &part : devicePath.split(QLatin1Char('/'), Qt::SkipEmptyParts)) {
        if (part != QLatin1String(".") && part != QLatin1String("..")) {
            parts << part;
        }
    }
    return QStringLiteral("files/") + parts.join(QLatin1Char('/'));
}

QString isoTime(qint64 when)
{
    const QDateTime local = QDateTime::fromSecsSinceEpoch(when);
    return local.toOffsetFromUtc(local.offsetFromUtc()).toString(Qt::ISODate);
}

// One entry of the dump directory, by the bytes of its name.
struct DumpEntry {
    QByteArray name;
    QString type;
    qint64 size = 0;
    qint64 modified = 0;
};

// The dump directory's entries by name, read with the names' own bytes (a name that is not
// UTF-8 must not turn into another one). False when the directory cannot be listed.
bool listDumps(QList<DumpEntry> *entries)
{
    DIR *dir = opendir(plRootedPath(PANIC_DUMP_DIR).constData());
    if (!dir) {
        return false;
    }
    while (const struct dirent *entry = readdir(dir)) {
        const QByteArray name(entry->d_name);
        if (name == "." || name == "..") {
            continue;
        }
        DumpEntry dump;
        dump.name = name;
        PlFileStatus info;
        const QByteArray path = plRootedPath(PANIC_DUMP_DIR) + '/' + name;
        if (plFileStatus(path.constData(), &info) == 0) {
            dump.type = S_ISREG(info.mode)   ? QStringLiteral("file")
                        : S_ISDIR(info.mode) ? QStringLiteral("directory")
                                             : QStringLiteral("other");
            dump.size = S_ISREG(info.mode) ? info.size : 0;
            dump.modified = info.modified;
        } else {
            dump.type = QStringLiteral("other");
        }
        *entries << dump;
    }
    closedir(dir);
    std::sort(entries->begin(), entries->end(),
              [](const DumpEntry &a, const DumpEntry &b) { return a.name < b.name; });
    return true;
}

QJsonObject dumpListing(const QList<DumpEntry> &entries)
{
    QJsonArray listed;
    for (const DumpEntry &dump : entries) {
        QJsonObject entry;
        entry.insert(QStringLiteral("name"), KIVO_PanicSource::escapedName(dump.name));
        if (!KIVO_PanicSource::isUtf8(dump.name)) {
            entry.insert(QStringLiteral("nameHex"), QString::fromLatin1(dump.name.toHex()));
        }
        entry.insert(QStringLiteral("type"), dump.type);
        entry.insert(QStringLiteral("size"), dump.size);
        entry.insert(QStringLiteral("modified"), dump.modified);
        entry.insert(QStringLiteral("time"), isoTime(dump.modified));
        entry.insert(QStringLiteral("coreDump"), dump.name.contains("core"));
        listed.append(entry);
    }
    QJsonObject listing;
    listing.insert(QStringLiteral("directory"), QString::fromLatin1(PANIC_DUMP_DIR));
    listing.insert(QStringLiteral("entries"), listed);
    return listing;
}

QByteArray decodedRecords()
{
    QJsonObject records;
    for (const PanicSource *panicSource : allPanicSources()) {
        const KIVO_PanicSource source(panicSource->type);
        records.insert(KIVO_PanicSource::name(panicSource->type), source.toJson(true));
    }
    return QJsonDocument(records).toJson(QJsonDocument::Indented);
}

// The bundle's temporary file while it is written: removed on SIGINT and SIGTERM too, before
// the signal takes its usual course. One bundle is written at a time.
char s_temporaryPath[4096];
volatile sig_atomic_t s_temporarySet = 0;

extern "C" void removeTemporaryAndExit(int signalNumber)
{
    if (s_temporarySet) {
        unlink(s_temporaryPath);
    }
    signal(signalNumber, SIG_DFL);
    raise(signalNumber);
}

class TemporaryGuard {
public:
    ~TemporaryGuard()
    {
        remove();
        if (m_installed) {
            sigaction(SIGINT, &m_previousInt, nullptr);
            sigaction(SIGTERM, &m_previousTerm, nullptr);
        }
    }

    // mkostemp() on `pattern`, with the handlers in place before the file exists: the signals
    // wait while the name is being kept.
    int create(QByteArray *pattern)
    {
        if (size_t(pattern->size()) >= sizeof s_temporaryPath) {
            errno = ENAMETOOLONG;
            return -1;
        }
        sigset_t blocked;
        sigset_t previous;
        sigemptyset(&blocked);
        sigaddset(&blocked, SIGINT);
        sigaddset(&blocked, SIGTERM);
        sigprocmask(SIG_BLOCK, &blocked, &previous);
        struct sigaction action = {};
        action.sa_handler = removeTemporaryAndExit;
        sigemptyset(&action.sa_mask);
        sigaction(SIGINT, &action, &m_previousInt);
        sigaction(SIGTERM, &action, &m_previousTerm);
        m_installed = true;
        const int fd = mkostemp(pattern->data(), O_CLOEXEC);
        const int error = errno;
        if (fd >= 0) {
            std::memcpy(s_temporaryPath, pattern->constData(), size_t(pattern->size()) + 1);
            s_temporarySet = 1;
        }
        sigprocmask(SIG_SETMASK, &previous, nullptr);
        errno = error;
        return fd;
    }

    void remove()
    {
        if (s_temporarySet) {
            unlink(s_temporaryPath);
            s_temporarySet = 0;
        }
    }

private:
    struct sigaction m_previousInt = {};
    struct sigaction m_previousTerm = {};
    bool m_installed = false;
};

} // namespace

KIVO_PanicBundle::KIVO_PanicBundle(Dumps dumps) : m_dumps(dumps)
{
}

QString KIVO_PanicBundle::error() const
{
    return m_error;
}

QString KIVO_PanicBundle::settingsFilePath()
{
    const char *base = std::getenv("VEK_APP_WRITE_PATH");
    return QString::fromLocal8Bit(base ? base : "/vek_user/download/appwrite/") +
           QStringLiteral("/kivo/kivo.ini");
}

QString KIVO_PanicBundle::write(const QString &outputDir)
{
    const QDateTime now = QDateTime::currentDateTimeUtc();
    const qint64 created = now.toSecsSinceEpoch();
    const QString stamp = now.toString(QStringLiteral("yyyyMMdd-HHmmss")) + QLatin1Char('Z');
    QString topDir = QStringLiteral("kivo-panic-bundle-") + stamp;
    QString path = QDir(outputDir).filePath(topDir + QStringLiteral(".tar.gz"));
    // Two bundles within one second get distinct names; an existing file is never replaced.
    for (int n = 2; QFileInfo::exists(path); ++n) {
        topDir = QStringLiteral("kivo-panic-bundle-%1-%2").arg(stamp).arg(n);
        path = QDir(outputDir).filePath(topDir + QStringLiteral(".tar.gz"));
    }

    // The archive is written to a hidden temporary file beside it and linked to its name only
    // when every byte is on the disk: a failed or interrupted bundle leaves no file behind.
    QByteArray temporary =
        QFile::encodeName(QDir(outputDir).filePath(QStringLiteral(".kivo-panic-bundle-XXXXXX")));
    TemporaryGuard guard;
    const int fd = guard.create(&temporary);
    if (fd < 0) {
        m_error = path + QStringLiteral(": ") + QString::fromLocal8Bit(std::strerror(errno));
        return QString();
    }
    // The bundle carries what only its owner may read (a root-only settings file, say).
    fchmod(fd, 0600);
    const auto failed = [&](const QString &reason) {
        m_error = path + QStringLiteral(": ") + reason;
        guard.remove();
        return QString();
    };
    ArchiveWriter archive(fd);
    const QByteArray top = topDir.toUtf8() + '/';
    QStringList missing;
    QStringList members;
    QJsonArray cut;
    auto add = [&](const QString &member, const QByteArray &content, qint64 modified) {
        members << member;
        return archive.add(top + member.toUtf8(), content, modified);
    };
    auto addRaw = [&](const QByteArray &member, const RawFile &raw, qint64 modified) {
        const QString shown = KIVO_PanicSource::escapedName(member);
        members << shown;
        if (raw.fullSize > raw.size) {
            QJsonObject where;
            where.insert(QStringLiteral("member"), shown);
            where.insert(QStringLiteral("size"), raw.fullSize);
            where.insert(QStringLiteral("kept"), raw.size);
            cut.append(where);
        }
        return archive.addStream(top + member, raw.fd, raw.size, modified);
    };

    bool ok = true;
    const QList<QPair<QString, qint64>> rawFiles = {
        {QString::fromLatin1(PANIC_BP_FILE_1), s_panicLogLimit},
        {QString::fromLatin1(PANIC_BP_FILE_2), s_panicLogLimit},
        {QString::fromLatin1(PANIC_QUIRN_FILE_A), s_panicLogLimit},
        {QString::fromLatin1(PANIC_QUIRN_FILE_B), s_panicLogLimit},
        {QString::fromLatin1(PANIC_MODULE_TABLE), s_moduleTableLimit},
        {settingsFilePath(), s_settingsLimit},
        {QString::fromLatin1(s_settingsVolatile), s_settingsLimit}};
    for (const auto &[devicePath, limit] : rawFiles) {
        RawFile raw;
        if (!openRaw(plRootedPath(devicePath.toLocal8Bit().constData()), false, limit, &raw)) {
            missing << devicePath;
            continue;
        }
        ok = ok && addRaw(filesMember(devicePath).toUtf8(), raw, raw.modified);
    }

    RawFile kernel;
    if (openRaw(plRootedPath(PANIC_KERNEL_PARTITION), true, s_kernelReportLimit, &kernel)) {
        ok = ok && addRaw("kernel/kpanic.txt", kernel, created);
    } else {
        missing << QString::fromLatin1(PANIC_KERNEL_PARTITION);
    }

    // The crash records of a mainline Linux: the pstore record files (at most
    // CRASH_PSTORE_READ_MAX bytes each), the devcoredump notes, and their dumps with the dumps.
    for (const CrashFile &file : pstoreRecordFiles() + devcdRecordFiles()) {
        if (!ok || (file.isDump && m_dumps != Dumps::Included)) {
            continue;
        }
        const int slash = file.devicePath.lastIndexOf('/');
        const int dirFd = crashOpenDirectory(plRootedPath(file.devicePath.left(slash).constData()));
        PlFileStatus status;
        RawFile raw;
        raw.fd = dirFd >= 0 ? plOpenUntrustedAt(dirFd, file.devicePath.mid(slash + 1).constData(),
                                                PlOwner::Anyone, -1, nullptr, &status)
                            : -1;
        if (dirFd >= 0) {
            ::close(dirFd);
        }
        const QString devicePath = KIVO_PanicSource::escapedName(file.devicePath);
        if (raw.fd < 0) {
            missing << devicePath;
            continue;
        }
        raw.fullSize = status.size;
        raw.size = std::min<qint64>(status.size, file.isDump ? s_dumpLimit : CRASH_PSTORE_READ_MAX);
        // The places are the kernel's and the collector's, so the path is plain: its bytes
        // make the member's name.
        ok = addRaw("files" + file.devicePath, raw, status.modified);
    }

    QList<DumpEntry> dumps;
    if (!listDumps(&dumps)) {
        missing << QString::fromLatin1(PANIC_DUMP_DIR);
    }
    ok = ok && add(QStringLiteral("dumps.json"),
                   QJsonDocument(dumpListing(dumps)).toJson(QJsonDocument::Indented), created);
    if (m_dumps == Dumps::Included) {
        for (const DumpEntry &dump : dumps) {
            if (!ok || dump.type != QLatin1String("file") || !dump.name.contains("core")) {
                continue;
            }
            RawFile raw;
            const QByteArray dumpPath = plRootedPath(PANIC_DUMP_DIR) + '/' + dump.name;
            if (!openRaw(dumpPath, false, s_dumpLimit, &raw)) {
                missing << QString::fromLatin1(PANIC_DUMP_DIR) + QLatin1Char('/') +
                               KIVO_PanicSource::escapedName(dump.name);
                continue;
            }
            ok = addRaw("dumps/" + dump.name, raw, raw.modified);
        }
    }

    ok = ok && add(QStringLiteral("records.json"), decodedRecords(), created);

    QJsonObject about;
    about.insert(QStringLiteral("tool"), QCoreApplication::applicationName());
    about.insert(QStringLiteral("version"), QCoreApplication::applicationVersion());
    about.insert(QStringLiteral("created"), now.toString(Qt::ISODate));
    about.insert(QStringLiteral("root"), QString::fromLocal8Bit(plRoot()));
    about.insert(QStringLiteral("dumpsIncluded"), m_dumps == Dumps::Included);
    about.insert(QStringLiteral("missing"), QJsonArray::fromStringList(missing));
    about.insert(QStringLiteral("members"), QJsonArray::fromStringList(members));
    about.insert(QStringLiteral("cut"), cut);
    ok = ok && add(QStringLiteral("bundle.json"), QJsonDocument(about).toJson(), created);

    ok = ok && archive.add(top + "MANIFEST.sha256", archive.manifest(topDir.toUtf8()), created);
    ok = ok && archive.close();
    if (!ok) {
        ::close(fd);
        return failed(archive.error());
    }
    // The data on the disk, then the name: a full disk or a failing device shows here at last.
    if (fsync(fd) != 0 && errno != EINVAL && errno != EROFS) {
        const int error = errno;
        ::close(fd);
        return failed(QString::fromLocal8Bit(std::strerror(error)));
    }
    if (::close(fd) != 0) {
        return failed(QString::fromLocal8Bit(std::strerror(errno)));
    }
    if (link(temporary.constData(), QFile::encodeName(path).constData()) != 0) {
        return failed(QString::fromLocal8Bit(std::strerror(errno)));
    }
    guard.remove();
    return path;
}
