// The kernel's pstore records: the panic and oops dumps in /sys/fs/pstore, and those that
// systemd-pstore moved at boot to /var/lib/systemd/pstore (some in a folder per record, beside a
// rebuilt dmesg.txt).
#include "KIVO_CrashFiles.h"
#include "KIVO_CrashRecords.h"
#include "KIVO_PanicVisit.h"

#include "PlRoot.h"
#include "PlSafeFile.h"

#include <QRegularExpression>

#include <cerrno>
#include <cstring>
#include <unistd.h>

namespace {

const char *const s_traceFile = "KIVO_PstoreReader";
#define PSTORE_TRACE(...) panicTrace(s_traceFile, __LINE__, __VA_ARGS__)

// A line of the excerpt is cut to this many bytes; the call trace head has this many lines.
constexpr int s_lineMax = 160;
constexpr int s_traceLines = 8;

// "<kind>-<backend>-<id>", with ".enc.z" when the kernel could not decompress the record.
const QRegularExpression &recordName()
{
    static const QRegularExpression name(
        QStringLiteral("^([a-z]+)-([a-z0-9_]+)-([0-9]+)(\\.enc\\.z)?$"));
    return name;
}

bool isDmesgRecord(const QByteArray &name)
{
    const auto match = recordName().match(QString::fromLatin1(name));
    return match.hasMatch() && match.captured(1) == QLatin1String("dmesg");
}

bool isAnyRecord(const QByteArray &name)
{
    return name == "dmesg.txt" || recordName().match(QString::fromLatin1(name)).hasMatch();
}

QByteArray cutLine(const QByteArray &line)
{
    QByteArray text = line;
    while (text.endsWith('\r')) {
        text.chop(1);
    }
    return crashPrintable(text.left(s_lineMax));
}

// The reason of a "<Reason>#<n> Part<n>" first line, or empty.
QByteArray dumpReason(const QByteArray &firstLine)
{
    static const QRegularExpression header(QStringLiteral("^([A-Za-z]+)#[0-9]+ Part[0-9]+"));
    const auto match = header.match(QString::fromLatin1(firstLine));
    return match.hasMatch() ? match.captured(1).toLatin1() : QByteArray();
}

// The oops line, the panic line, then the call trace's first lines.
QByteArray panicExcerpt(const QList<QByteArray> &lines)
{
    int oops = -1;
    int panic = -1;
    int trace = -1;
    // The dump header ("Oops#1 Part1") is no panic line.
    const int first = lines.isEmpty() || dumpReason(lines.first()).isEmpty() ? 0 : 1;
    for (int i = first; i < lines.size(); ++i) {
        const QByteArray &line = lines.at(i);
        if (oops < 0 && (line.contains("Oops") || line.contains("BUG:"))) {
            oops = i;
        }
        if (panic < 0 && line.contains("Kernel panic - not syncing")) {
            panic = i;
        }
        if (trace < 0 && (line.contains("Call trace:") || line.contains("Call Trace:"))) {
            trace = i;
        }
    }
    QByteArray excerpt;
    for (const int at : {oops, panic}) {
        if (at >= 0) {
            excerpt += cutLine(lines.at(at)) + '\n';
        }
    }
    if (trace >= 0) {
        for (int i = trace; i < lines.size() && i <= trace + s_traceLines; ++i) {
            excerpt += cutLine(lines.at(i)) + '\n';
        }
    }
    excerpt.chop(excerpt.endsWith('\n') ? 1 : 0);
    return excerpt;
}

PstoreRecord *readRecord(int dirFd, const QByteArray &name, const QByteArray &devicePath)
{
    PlFileStatus status;
    const int fd =
        plOpenUntrustedAt(dirFd, name.constData(), PlOwner::Anyone, -1, nullptr, &status);
    if (fd < 0) {
        PSTORE_TRACE("Unable to read %s", crashPrintable(devicePath).constData());
        return nullptr;
    }
    auto *record = allocPanicRecord<PstoreRecord>();
    if (!record) {
        close(fd);
        return nullptr;
    }
    record->timestamp = status.modified;
    record->size = status.size;
    record->compressed = name.endsWith(".enc.z") ? 1 : 0;
    crashCopy(record->name, sizeof record->name, name);
    crashCopy(record->path, sizeof record->path, devicePath);
    if (!record->compressed) {
        QByteArray text; // a longer record is cut at the limit
        plReadBounded(fd, CRASH_PSTORE_READ_MAX, &text);
        const QList<QByteArray> lines = text.split('\n');
        crashCopy(record->reason, sizeof record->reason, dumpReason(lines.value(0)));
        crashCopy(record->excerpt, sizeof record->excerpt, panicExcerpt(lines));
    }
    close(fd);
    return record;
}

void readPstoreDirectory(int dirFd, const QByteArray &devicePath, bool withFolders,
                         std::vector<PstoreRecord *> *records)
{
    const QList<QByteArray> names = crashDirectoryNames(dirFd, CRASH_DIR_ENTRIES_MAX);
    // A folder with a rebuilt dmesg.txt holds one record: its parts are not listed again.
    const bool rebuilt = !withFolders && names.contains("dmesg.txt");
    for (const QByteArray &name : names) {
        const QByteArray path = devicePath + '/' + name;
        if (rebuilt ? name == "dmesg.txt" : isDmesgRecord(name)) {
            if (PstoreRecord *record = readRecord(dirFd, name, path)) {
                records->push_back(record);
            }
        } else if (withFolders && !isAnyRecord(name)) {
            const int folder = crashOpenDirectoryAt(dirFd, name.constData());
            if (folder >= 0) {
                readPstoreDirectory(folder, path, false, records);
                close(folder);
            }
        }
    }
}

// The record files under one pstore place, as device paths.
void listRecordFiles(int dirFd, const QByteArray &devicePath, bool withFolders,
                     QList<CrashFile> *files)
{
    for (const QByteArray &name : crashDirectoryNames(dirFd, CRASH_DIR_ENTRIES_MAX)) {
        if (isAnyRecord(name)) {
            files->append({devicePath + '/' + name, false});
        } else if (withFolders) {
            const int folder = crashOpenDirectoryAt(dirFd, name.constData());
            if (folder >= 0) {
                listRecordFiles(folder, devicePath + '/' + name, false, files);
                close(folder);
            }
        }
    }
}

} // namespace

void readPstorePanics(PanicNode **head, uint8_t *count)
{
    if (!head || !count) {
        return;
    }
    std::vector<PstoreRecord *> records;
    for (const char *place : {CRASH_PSTORE_DIR, CRASH_PSTORE_ARCHIVE_DIR}) {
        const int dirFd = crashOpenDirectory(plRootedPath(place));
        if (dirFd < 0) {
            if (errno != ENOENT) {
                PSTORE_TRACE("Unable to read %s - %s", place, std::strerror(errno));
            }
            continue;
        }
        readPstoreDirectory(dirFd, place, place == CRASH_PSTORE_ARCHIVE_DIR, &records);
        close(dirFd);
    }
    crashListRecords(records, head, count, [](const PstoreRecord &a, const PstoreRecord &b) {
        return std::strcmp(a.path, b.path) < 0;
    });
}

QList<CrashFile> pstoreRecordFiles()
{
    QList<CrashFile> files;
    for (const char *place : {CRASH_PSTORE_DIR, CRASH_PSTORE_ARCHIVE_DIR}) {
        const int dirFd = crashOpenDirectory(plRootedPath(place));
        if (dirFd >= 0) {
            listRecordFiles(dirFd, place, place == CRASH_PSTORE_ARCHIVE_DIR, &files);
            close(dirFd);
        }
    }
    return files;
}
