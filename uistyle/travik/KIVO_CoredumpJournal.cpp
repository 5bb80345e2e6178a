// The programs that systemd-coredump caught: their journal entries, read with sd-journal from
// the journal files under the root, and, for a core whose entry the journal no longer holds (or
// where there is no journal), the core file's user.coredump.* attributes or its name.
#include "KIVO_CrashFiles.h"
#include "KIVO_CrashRecords.h"
#include "KIVO_PanicVisit.h"

#include "PlRoot.h"
#include "PlSafeFile.h"

#include <QSet>

#include <systemd/sd-journal.h>

#include <cerrno>
#include <csignal>
#include <cstring>
#include <string.h>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>

namespace {

const char *const s_traceFile = "KIVO_CoredumpJournal";
#define COREDUMP_TRACE(...) panicTrace(s_traceFile, __LINE__, __VA_ARGS__)

// A journal field's value is read up to this many bytes (an exe path, a command line).
constexpr size_t s_fieldMax = 4096;
// An attribute of a core file is read up to this many bytes.
constexpr size_t s_attributeMax = 512;

// The journal files of one journal place: *.journal and *.journal~ in it and in its per-machine
// folders, each opened only when it is a regular file. *refused counts those that could not be
// opened, *error keeps the first reason.
void collectJournalFiles(int dirFd, bool withFolders, std::vector<int> *fds, int *refused,
                         int *error)
{
    for (const QByteArray &name : crashDirectoryNames(dirFd, CRASH_DIR_ENTRIES_MAX)) {
        if (int(fds->size()) >= CRASH_JOURNAL_FILES_MAX) {
            return;
        }
        if (name.endsWith(".journal") || name.endsWith(".journal~")) {
            PlFileStatus status;
            const int fd =
                plOpenUntrustedAt(dirFd, name.constData(), PlOwner::Anyone, -1, nullptr, &status);
            if (fd >= 0) {
                fds->push_back(fd);
            } else if ((*refused)++ == 0) {
                *error = errno;
            }
        } else if (withFolders) {
            const int folder = crashOpenDirectoryAt(dirFd, name.constData());
            if (folder >= 0) {
                collectJournalFiles(folder, false, fds, refused, error);
                close(folder);
            }
        }
    }
}

QByteArray fieldValue(sd_journal *journal, const char *field)
{
    const void *data = nullptr;
    size_t length = 0;
    if (sd_journal_get_data(journal, field, &data, &length) < 0) {
        return QByteArray();
    }
    const size_t prefix = std::strlen(field) + 1;
    if (length < prefix) {
        return QByteArray();
    }
    return QByteArray(static_cast<const char *>(data) + prefix,
                      int(std::min(length - prefix, s_fieldMax)));
}

int64_t number(const QByteArray &text, int64_t fallback)
{
    bool ok = false;
    const qlonglong value = text.toLongLong(&ok);
    return ok ? value : fallback;
}

QByteArray baseName(const QByteArray &path)
{
    const int slash = path.lastIndexOf('/');
    return slash < 0 ? path : path.mid(slash + 1);
}

QByteArray signalName(int signal)
{
    const char *abbreviation = signal > 0 ? sigabbrev_np(signal) : nullptr;
    return abbreviation ? QByteArray("SIG") + abbreviation : QByteArray();
}

// What became of the core named `file` (a name in the core folder, empty when none was stored).
void fillCoreState(int coreDirFd, const QByteArray &file, bool truncated, CoredumpRecord *record)
{
    crashCopy(record->coreFile, sizeof record->coreFile, file);
    if (file.isEmpty() || file.contains('/') || file == "." || file == "..") {
        record->core = COREDUMP_CORE_NONE;
        return;
    }
    PlFileStatus status;
    if (coreDirFd < 0 ||
        plFileStatusAt(coreDirFd, file.constData(), AT_SYMLINK_NOFOLLOW, &status) != 0 ||
        !S_ISREG(status.mode)) {
        record->core = COREDUMP_CORE_MISSING;
        return;
    }
    record->coreSize = status.size;
    if (faccessat(coreDirFd, file.constData(), R_OK, AT_EACCESS) != 0) {
        record->core = COREDUMP_CORE_INACCESSIBLE;
    } else {
        record->core = truncated ? COREDUMP_CORE_TRUNCATED : COREDUMP_CORE_PRESENT;
    }
}

CoredumpRecord *journalRecord(sd_journal *journal, int coreDirFd)
{
    auto *record = allocPanicRecord<CoredumpRecord>();
    if (!record) {
        return nullptr;
    }
    uint64_t realtime = 0;
    sd_journal_get_realtime_usec(journal, &realtime);
    record->timestamp =
        number(fieldValue(journal, "COREDUMP_TIMESTAMP"), int64_t(realtime)) / 1000000;
    record->pid = int32_t(number(fieldValue(journal, "COREDUMP_PID"), 0));
    record->uid = uint32_t(number(fieldValue(journal, "COREDUMP_UID"), 0));
    record->gid = uint32_t(number(fieldValue(journal, "COREDUMP_GID"), 0));
    record->signal = int32_t(number(fieldValue(journal, "COREDUMP_SIGNAL"), 0));
    QByteArray name = fieldValue(journal, "COREDUMP_SIGNAL_NAME");
    crashCopy(record->signalName, sizeof record->signalName,
              name.isEmpty() ? signalName(record->signal) : name);
    crashCopy(record->comm, sizeof record->comm, fieldValue(journal, "COREDUMP_COMM"));
    crashCopy(record->exe, sizeof record->exe, fieldValue(journal, "COREDUMP_EXE"));
    record->fromJournal = 1;
    const QByteArray truncated = fieldValue(journal, "COREDUMP_TRUNCATED");
    fillCoreState(coreDirFd, baseName(fieldValue(journal, "COREDUMP_FILENAME")),
                  truncated == "1" || truncated == "yes" || truncated == "true", record);
    return record;
}

// The newest coredump entries of the journal files under the root.
void readJournal(int coreDirFd, std::vector<CoredumpRecord *> *records)
{
    std::vector<int> fds;
    for (const char *place : CRASH_JOURNAL_DIRS) {
        const int dirFd = crashOpenDirectory(plRootedPath(place));
        if (dirFd < 0) {
            if (errno != ENOENT) {
                COREDUMP_TRACE("Unable to read %s - %s", place, std::strerror(errno));
            }
            continue;
        }
        // One trace for a place whose files this user may not read (not in systemd-journal).
        int refused = 0;
        int error = 0;
        collectJournalFiles(dirFd, true, &fds, &refused, &error);
        close(dirFd);
        if (refused > 0) {
            COREDUMP_TRACE("Unable to read %d journal files in %s - %s", refused, place,
                           std::strerror(error));
        }
    }
    // One file at a time: the records are put in time order afterwards anyway, and a file the
    // library refuses stays ours to close, while one it opened is its to close.
    const QByteArray match = QByteArray("MESSAGE_ID=") + CRASH_COREDUMP_MESSAGE_ID;
    for (int fd : fds) {
        sd_journal *journal = nullptr;
        const int opened = sd_journal_open_files_fd(&journal, &fd, 1, 0);
        if (opened < 0) {
            COREDUMP_TRACE("Journal not read - %s", std::strerror(-opened));
            close(fd);
            continue;
        }
        sd_journal_set_data_threshold(journal, s_fieldMax);
        sd_journal_add_match(journal, match.constData(), 0);
        sd_journal_seek_tail(journal);
        for (uint32_t taken = 0; taken < PANIC_MAX_RECORDS && sd_journal_previous(journal) > 0;
             ++taken) {
            if (CoredumpRecord *record = journalRecord(journal, coreDirFd)) {
                records->push_back(record);
            }
        }
        sd_journal_close(journal);
    }
}

QByteArray attribute(int fd, const char *name)
{
    char value[s_attributeMax];
    const ssize_t length = fgetxattr(fd, name, value, sizeof value);
    return length > 0 ? QByteArray(value, int(length)) : QByteArray();
}

// A core file without a journal entry: its attributes, or else its name,
// core.<comm>.<uid>.<boot id>.<pid>.<usec>[.<compression>].
CoredumpRecord *coreFileRecord(int coreDirFd, const QByteArray &name)
{
    PlFileStatus status;
    const int fd =
        plOpenUntrustedAt(coreDirFd, name.constData(), PlOwner::Anyone, -1, nullptr, &status);
    if (fd < 0 && errno != EACCES) {
        COREDUMP_TRACE("Unable to read %s/%s", CRASH_COREDUMP_DIR,
                       crashPrintable(name).constData());
        return nullptr;
    }
    auto *record = allocPanicRecord<CoredumpRecord>();
    if (!record) {
        if (fd >= 0) {
            close(fd);
        }
        return nullptr;
    }
    QList<QByteArray> parts = name.split('.');
    if (parts.size() > 6 && number(parts.last(), -1) < 0) {
        parts.removeLast();
    }
    const bool named = parts.size() >= 6;
    const auto fromName = [&](int fromEnd) {
        return named ? parts.at(parts.size() - fromEnd) : "";
    };
    const QByteArray comm = named ? parts.mid(1, parts.size() - 5).join('.') : QByteArray();

    const auto value = [&](const char *key, const QByteArray &fallback) {
        const QByteArray found = fd >= 0 ? attribute(fd, key) : QByteArray();
        return found.isEmpty() ? fallback : found;
    };
    record->timestamp = number(value("user.coredump.timestamp", fromName(1)), 0) / 1000000;
    if (record->timestamp == 0) {
        record->timestamp = status.modified;
    }
    record->pid = int32_t(number(value("user.coredump.pid", fromName(2)), 0));
    record->uid = uint32_t(number(value("user.coredump.uid", fromName(4)), 0));
    record->gid = uint32_t(number(value("user.coredump.gid", ""), 0));
    record->signal = int32_t(number(value("user.coredump.signal", ""), 0));
    crashCopy(record->signalName, sizeof record->signalName, signalName(record->signal));
    crashCopy(record->comm, sizeof record->comm, value("user.coredump.comm", comm));
    crashCopy(record->exe, sizeof record->exe, value("user.coredump.exe", ""));
    if (fd >= 0) {
        close(fd);
    }
    fillCoreState(coreDirFd, name, false, record);
    return record;
}

} // namespace

void readCoredumpCrashes(PanicNode **head, uint8_t *count)
{
    if (!head || !count) {
        return;
    }
    std::vector<CoredumpRecord *> records;
    const int coreDirFd = crashOpenDirectory(plRootedPath(CRASH_COREDUMP_DIR));
    if (coreDirFd < 0 && errno != ENOENT) {
        COREDUMP_TRACE("Unable to read %s - %s", CRASH_COREDUMP_DIR, std::strerror(errno));
    }
    readJournal(coreDirFd, &records);

    QSet<QByteArray> known;
    for (const CoredumpRecord *record : records) {
        known.insert(QByteArray(record->coreFile));
    }
    if (coreDirFd >= 0) {
        for (const QByteArray &name : crashDirectoryNames(coreDirFd, CRASH_DIR_ENTRIES_MAX)) {
            if (name.startsWith("core.") && !known.contains(name)) {
                if (CoredumpRecord *record = coreFileRecord(coreDirFd, name)) {
                    records.push_back(record);
                }
            }
        }
        close(coreDirFd);
    }
    crashListRecords(records, head, count, [](const CoredumpRecord &a, const CoredumpRecord &b) {
        return a.pid < b.pid;
    });
}
