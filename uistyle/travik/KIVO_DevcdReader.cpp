// The firmware dumps (a modem's) that came through devcoredump and that kivo-devcd-collect kept:
// in /var/lib/kivo/devcoredump, each dump "<stem>.data" with its "<stem>.info" beside it
// ("device=", "time=", "size=", "truncated=" lines).
#include "KIVO_CrashFiles.h"
#include "KIVO_CrashRecords.h"
#include "KIVO_PanicVisit.h"

#include "PlRoot.h"
#include "PlSafeFile.h"

#include <cerrno>
#include <cstring>
#include <unistd.h>

namespace {

const char *const s_traceFile = "KIVO_DevcdReader";
#define DEVCD_TRACE(...) panicTrace(s_traceFile, __LINE__, __VA_ARGS__)

QByteArray infoValue(const QList<QByteArray> &lines, const QByteArray &key)
{
    for (const QByteArray &line : lines) {
        if (line.startsWith(key + '=')) {
            return line.mid(key.size() + 1);
        }
    }
    return QByteArray();
}

DevcdRecord *readDump(int dirFd, const QByteArray &name)
{
    PlFileStatus status;
    const int fd =
        plOpenUntrustedAt(dirFd, name.constData(), PlOwner::Anyone, -1, nullptr, &status);
    if (fd < 0) {
        DEVCD_TRACE("Unable to read %s/%s", CRASH_DEVCD_DIR, crashPrintable(name).constData());
        return nullptr;
    }
    QByteArray head; // the first bytes of a longer dump
    plReadBounded(fd, PANIC_DATA_MAX, &head);
    close(fd);
    auto *record = allocPanicRecord<DevcdRecord>();
    if (!record) {
        return nullptr;
    }
    std::memcpy(record->data, head.constData(), size_t(head.size()));
    record->length = status.size;
    record->timestamp = status.modified;
    crashCopy(record->fileName, sizeof record->fileName, name);

    // The collector's notes; without them the file's own time stands and the device is unknown.
    const QByteArray infoName = name.left(name.size() - 5) + ".info";
    PlFileStatus infoStatus;
    const int info =
        plOpenUntrustedAt(dirFd, infoName.constData(), PlOwner::Anyone, -1, nullptr, &infoStatus);
    QList<QByteArray> lines;
    if (info >= 0) {
        QByteArray notes;
        plReadBounded(info, CRASH_DEVCD_INFO_MAX, &notes);
        lines = notes.split('\n');
        close(info);
    }
    const QByteArray device = infoValue(lines, "device");
    crashCopy(record->device, sizeof record->device,
              crashPrintable(device.isEmpty() ? QByteArray("unknown") : device));
    bool ok = false;
    const qlonglong when = infoValue(lines, "time").toLongLong(&ok);
    if (ok) {
        record->timestamp = when;
    }
    record->truncated = infoValue(lines, "truncated") == "1" ? 1 : 0;
    return record;
}

} // namespace

void readDevcdDumps(PanicNode **head, uint8_t *count)
{
    if (!head || !count) {
        return;
    }
    std::vector<DevcdRecord *> records;
    const int dirFd = crashOpenDirectory(plRootedPath(CRASH_DEVCD_DIR));
    if (dirFd < 0) {
        if (errno != ENOENT) {
            DEVCD_TRACE("Unable to read %s - %s", CRASH_DEVCD_DIR, std::strerror(errno));
        }
    } else {
        for (const QByteArray &name : crashDirectoryNames(dirFd, CRASH_DIR_ENTRIES_MAX)) {
            if (name.endsWith(".data") && !name.startsWith('.')) {
                if (DevcdRecord *record = readDump(dirFd, name)) {
                    records.push_back(record);
                }
            }
        }
        close(dirFd);
    }
    crashListRecords(records, head, count, [](const DevcdRecord &a, const DevcdRecord &b) {
        return std::strcmp(a.fileName, b.fileName) < 0;
    });
}

QList<CrashFile> devcdRecordFiles()
{
    QList<CrashFile> files;
    const int dirFd = crashOpenDirectory(plRootedPath(CRASH_DEVCD_DIR));
    if (dirFd < 0) {
        return files;
    }
    for (const QByteArray &name : crashDirectoryNames(dirFd, CRASH_DIR_ENTRIES_MAX)) {
        if (!name.startsWith('.') && (name.endsWith(".data") || name.endsWith(".info"))) {
            files.append({QByteArray(CRASH_DEVCD_DIR) + '/' + name, name.endsWith(".data")});
        }
    }
    close(dirFd);
    return files;
}
