#include "KIVO_PanicBundle.h"

#include "KIVO_PanicSource.h"
#include "PlRoot.h"

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
#include <QSaveFile>

#include <archive.h>
#include <archive_entry.h>

#include <cstdlib>

namespace {

// The kernel report is text; a partition larger than this is cut in the bundle.
constexpr qint64 s_kernelReportLimit = 16 * 1024 * 1024;
constexpr qint64 s_chunkSize = 64 * 1024;

const char *const s_settingsVolatile = "/tmp/kivo";

// Writes tar.gz members through libarchive into a QSaveFile and keeps the SHA-256 of each.
class ArchiveWriter {
public:
    explicit ArchiveWriter(QSaveFile *file) : m_file(file), m_archive(archive_write_new())
    {
        archive_write_add_filter_gzip(m_archive);
        archive_write_set_format_pax_restricted(m_archive);
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

    bool add(const QString &member, const QByteArray &content, time_t modified)
    {
        QCryptographicHash hash(QCryptographicHash::Sha256);
        hash.addData(content);
        if (!header(member, content.size(), modified) || !data(content)) {
            return false;
        }
        m_sums << qMakePair(member, hash.result().toHex());
        return true;
    }

    // Streams `size` bytes of an open file; a file that shrank meanwhile is padded with zeros
    // so the member keeps the size its header gave.
    bool addStream(const QString &member, QIODevice *device, qint64 size, time_t modified)
    {
        QCryptographicHash hash(QCryptographicHash::Sha256);
        if (!header(member, size, modified)) {
            return false;
        }
        qint64 left = size;
        while (left > 0) {
            QByteArray chunk = device->read(std::min(left, s_chunkSize));
            if (chunk.isEmpty()) {
                chunk = QByteArray(int(std::min(left, s_chunkSize)), '\0');
            }
            hash.addData(chunk);
            if (!data(chunk)) {
                return false;
            }
            left -= chunk.size();
        }
        m_sums << qMakePair(member, hash.result().toHex());
        return true;
    }

    // The manifest in the format of sha256sum, so that `sha256sum -c` checks the unpacked
    // bundle from inside its top directory.
    QByteArray manifest(const QString &topDir) const
    {
        QByteArray text;
        for (const auto &sum : m_sums) {
            QByteArray name = sum.first.mid(topDir.size() + 1).toUtf8();
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
        const qint64 written =
            writer->m_file->write(static_cast<const char *>(buffer), qint64(length));
        return written < 0 ? -1 : la_ssize_t(written);
    }

    bool header(const QString &member, qint64 size, time_t modified)
    {
        struct archive_entry *entry = archive_entry_new();
        archive_entry_set_pathname_utf8(entry, member.toUtf8().constData());
        archive_entry_set_filetype(entry, AE_IFREG);
        archive_entry_set_perm(entry, 0644);
        archive_entry_set_size(entry, size);
        archive_entry_set_mtime(entry, modified, 0);
        const int result = archive_write_header(m_archive, entry);
        archive_entry_free(entry);
        return result == ARCHIVE_OK || fail();
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
            m_error = m_file->error() != QFileDevice::NoError
                          ? m_file->errorString()
                          : QString::fromLocal8Bit(archive_error_string(m_archive));
        }
        m_ok = false;
        return false;
    }

    QSaveFile *m_file;
    struct archive *m_archive;
    QList<QPair<QString, QByteArray>> m_sums;
    bool m_ok = true;
    QString m_error;
};

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

QString isoTime(time_t when)
{
    const QDateTime local = QDateTime::fromSecsSinceEpoch(qint64(when));
    return local.toOffsetFromUtc(local.offsetFromUtc()).toString(Qt::ISODate);
}

QByteArray readUpTo(QFile *file, qint64 limit)
{
    QByteArray content;
    while (content.size() < limit) {
        const QByteArray chunk = file->read(std::min(s_chunkSize, limit - content.size()));
        if (chunk.isEmpty()) {
            break;
        }
        content += chunk;
    }
    return content;
}

QJsonObject dumpListing(const QFileInfoList &entries)
{
    QJsonArray listed;
    for (const QFileInfo &info : entries) {
        QJsonObject entry;
        entry.insert(QStringLiteral("name"), info.fileName());
        entry.insert(QStringLiteral("type"), info.isFile()  ? QStringLiteral("file")
                                             : info.isDir() ? QStringLiteral("directory")
                                                            : QStringLiteral("other"));
        entry.insert(QStringLiteral("size"), info.size());
        const time_t modified = time_t(info.lastModified().toSecsSinceEpoch());
        entry.insert(QStringLiteral("modified"), qint64(modified));
        entry.insert(QStringLiteral("time"), isoTime(modified));
        entry.insert(QStringLiteral("coreDump"), info.fileName().contains(QLatin1String("core")));
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
    for (PanicType type : {PANIC_BP, PANIC_AP, PANIC_QUIRN, PANIC_KERNEL}) {
        const KIVO_PanicSource source(type);
        records.insert(KIVO_PanicSource::name(type), source.toJson(true));
    }
    return QJsonDocument(records).toJson(QJsonDocument::Indented);
}

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
    const time_t created = time_t(now.toSecsSinceEpoch());
    const QString stamp = now.toString(QStringLiteral("yyyyMMdd-HHmmss")) + QLatin1Char('Z');
    QString topDir = QStringLiteral("kivo-panic-bundle-") + stamp;
    QString path = QDir(outputDir).filePath(topDir + QStringLiteral(".tar.gz"));
    // Two bundles within one second get distinct names; an existing file is never replaced.
    for (int n = 2; QFileInfo::exists(path); ++n) {
        topDir = QStringLiteral("kivo-panic-bundle-%1-%2").arg(stamp).arg(n);
        path = QDir(outputDir).filePath(topDir + QStringLiteral(".tar.gz"));
    }

    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly)) {
        m_error = file.errorString();
        return QString();
    }
    ArchiveWriter archive(&file);
    const QString top = topDir + QLatin1Char('/');
    QStringList missing;
    QStringList members;
    auto add = [&](const QString &member, const QByteArray &content, time_t modified) {
        members << member;
        return archive.add(top + member, content, modified);
    };

    bool ok = true;
    const QStringList rawFiles = {
        QString::fromLatin1(PANIC_BP_FILE_1),    QString::fromLatin1(PANIC_BP_FILE_2),
        QString::fromLatin1(PANIC_QUIRN_FILE_A), QString::fromLatin1(PANIC_QUIRN_FILE_B),
        QString::fromLatin1(PANIC_MODULE_TABLE), settingsFilePath(),
        QString::fromLatin1(s_settingsVolatile)};
    for (const QString &devicePath : rawFiles) {
        QFile raw(plRootedPath(devicePath));
        if (!raw.open(QIODevice::ReadOnly)) {
            missing << devicePath;
            continue;
        }
        const time_t modified =
            time_t(raw.fileTime(QFileDevice::FileModificationTime).toSecsSinceEpoch());
        ok = ok && add(filesMember(devicePath), raw.readAll(), modified);
    }

    QFile kernel(plRootedPath(QString::fromLatin1(PANIC_KERNEL_PARTITION)));
    if (kernel.open(QIODevice::ReadOnly)) {
        ok = ok && add(QStringLiteral("kernel/kpanic.txt"), readUpTo(&kernel, s_kernelReportLimit),
                       created);
    } else {
        missing << QString::fromLatin1(PANIC_KERNEL_PARTITION);
    }

    const QDir dumpDir(plRootedPath(QString::fromLatin1(PANIC_DUMP_DIR)));
    const QFileInfoList dumps = dumpDir.entryInfoList(
        QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot, QDir::Name);
    if (!dumpDir.exists()) {
        missing << QString::fromLatin1(PANIC_DUMP_DIR);
    }
    ok = ok && add(QStringLiteral("dumps.json"),
                   QJsonDocument(dumpListing(dumps)).toJson(QJsonDocument::Indented), created);
    if (m_dumps == Dumps::Included) {
        for (const QFileInfo &info : dumps) {
            if (!ok || !info.isFile() || !info.fileName().contains(QLatin1String("core"))) {
                continue;
            }
            QFile dump(info.filePath());
            if (!dump.open(QIODevice::ReadOnly)) {
                missing << QString::fromLatin1(PANIC_DUMP_DIR) + QLatin1Char('/') + info.fileName();
                continue;
            }
            const QString member = QStringLiteral("dumps/") + info.fileName();
            members << member;
            ok = archive.addStream(top + member, &dump, info.size(),
                                   time_t(info.lastModified().toSecsSinceEpoch()));
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
    ok = ok && add(QStringLiteral("bundle.json"), QJsonDocument(about).toJson(), created);

    ok = ok &&
         archive.add(top + QStringLiteral("MANIFEST.sha256"), archive.manifest(topDir), created);
    ok = ok && archive.close();
    if (!ok) {
        m_error = archive.error();
        file.cancelWriting();
        return QString();
    }
    if (!file.commit()) {
        m_error = file.errorString();
        return QString();
    }
    return path;
}
