#pragma once

#include "KIVO_Panic_Util.h"

#include <QByteArray>
#include <QList>

#include <cstdint>

// The crash records that a phone running a mainline Linux keeps, read into the panic list of
// KIVO_Panic_Util like the seed's own sources:
// - pstore: the kernel's panic and oops records, in /sys/fs/pstore and, once systemd-pstore has
//   moved them at boot, in /var/lib/systemd/pstore (PstoreRecord, PANIC_PSTORE);
// - systemd-coredump: one journal entry per crashed program, the cores in
//   /var/lib/systemd/coredump with their user.coredump.* attributes (CoredumpRecord,
//   PANIC_COREDUMP);
// - devcoredump: the firmware dumps (a modem's) that kivo-devcd-collect keeps in
//   /var/lib/kivo/devcoredump (DevcdRecord, PANIC_DEVCD).
// Every reader numbers its records 1 to count from the oldest, puts the newest at the head and
// keeps the newest PANIC_MAX_RECORDS. Records are calloc'ed, owned by their nodes.

constexpr const char *CRASH_PSTORE_DIR = "/sys/fs/pstore";
constexpr const char *CRASH_PSTORE_ARCHIVE_DIR = "/var/lib/systemd/pstore";
constexpr const char *CRASH_JOURNAL_DIRS[2] = {"/var/log/journal", "/run/log/journal"};
constexpr const char *CRASH_COREDUMP_DIR = "/var/lib/systemd/coredump";
constexpr const char *CRASH_DEVCD_DIR = "/var/lib/kivo/devcoredump";
constexpr const char *CRASH_COREDUMP_MESSAGE_ID = "fc2e22bc6ee647b6b90729ab34a250b1";

// At most this many bytes of one pstore record are read (a ramoops record is a few KiB, a
// rebuilt dmesg.txt the kernel log buffer).
constexpr int64_t CRASH_PSTORE_READ_MAX = 1024 * 1024;
// At most this many journal files are opened, of at most this many directory entries looked at.
constexpr int CRASH_JOURNAL_FILES_MAX = 512;
// At most this many entries of one crash directory are looked at.
constexpr int CRASH_DIR_ENTRIES_MAX = 4096;
// A devcoredump dump's .info file is read up to this many bytes.
constexpr int64_t CRASH_DEVCD_INFO_MAX = 4096;

// One pstore record file (dmesg records only: console and pmsg records are no panics).
struct PstoreRecord {
    int64_t timestamp; // the file's modification time
    int64_t size;      // the file's size
    uint32_t panicNum;
    uint8_t compressed; // a ".enc.z" file: the kernel could not decompress it; not decoded
    char reason[16];    // "Panic", "Oops", another dump reason, or empty (compressed, no header)
    char name[256];     // the file's name, "dmesg-ramoops-0" or "dmesg.txt"
    char path[600];     // its device path, "/sys/fs/pstore/dmesg-ramoops-0"
    // The panic line ("Kernel panic - not syncing", "Oops", "BUG:", ...) and the head of the
    // call trace, each line cut; empty when none was found.
    char excerpt[1024];
};

// What became of a crashed program's core.
enum CoredumpCore : uint8_t {
    COREDUMP_CORE_NONE = 0,         // not stored
    COREDUMP_CORE_PRESENT = 1,      // the file is there
    COREDUMP_CORE_MISSING = 2,      // stored once, gone now
    COREDUMP_CORE_TRUNCATED = 3,    // there, but cut at the size limit
    COREDUMP_CORE_INACCESSIBLE = 4, // there, but this user may not look at it
};

// One crashed program, from its journal entry or, without one, from its core file.
struct CoredumpRecord {
    int64_t timestamp; // seconds since the epoch (COREDUMP_TIMESTAMP)
    int64_t coreSize;  // the core file's size when it is there
    uint32_t panicNum;
    int32_t pid;
    uint32_t uid;
    uint32_t gid;
    int32_t signal;
    uint8_t core;        // CoredumpCore
    uint8_t fromJournal; // 1: the journal entry; 0: the core file's attributes or name
    char signalName[16]; // "SIGSEGV"
    char comm[32];       // the program's name
    char exe[256];
    char coreFile[256]; // the core file's name in CRASH_COREDUMP_DIR, empty when none
};

// One devcoredump dump kept by kivo-devcd-collect.
struct DevcdRecord {
    int64_t timestamp; // when the dump appeared
    int64_t length;    // bytes kept
    uint32_t panicNum;
    uint8_t truncated; // the dump was cut at the collector's size limit
    uint8_t data[PANIC_DATA_MAX];
    char device[128]; // the failing device ("4080000.remoteproc")
    char fileName[256];
};

// The readers: *count is set to the number of records (at most PANIC_MAX_RECORDS).
void readPstorePanics(PanicNode **head, uint8_t *count);
void readCoredumpCrashes(PanicNode **head, uint8_t *count);
void readDevcdDumps(PanicNode **head, uint8_t *count);

// The record files each reader looks at, as device paths, for the service bundle: the pstore
// records (also console and pmsg), the kept devcoredump dumps with their .info files.
struct CrashFile {
    QByteArray devicePath;
    bool isDump; // a devcoredump data file: large, only with the dumps
};
QList<CrashFile> pstoreRecordFiles();
QList<CrashFile> devcdRecordFiles();
