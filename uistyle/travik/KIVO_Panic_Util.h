#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <ctime>
#include <functional>
#include <string>
#include <sys/types.h>

#include <QByteArray>

struct dirent;

// The panic records of the four panic sources, the doubly linked panic list that carries them,
// and the readers that fill it. Plain file and memory code: no toolkit, no engine.
//
// Ownership: the caller of a reader owns the list it builds (its head pointer) and frees it,
// records included, with freePanicList(). Records and nodes are allocated with std::calloc and
// released with std::free, so a node can free its record whatever the record's kind.

// Panic source code, kept as an 8-bit value by the list and detail screens.
enum PanicType : uint8_t {
    PANIC_BP = 0,
    PANIC_AP = 1,
    PANIC_QUIRN = 2,
    PANIC_KERNEL = 3,
    // The crash records a mainline Linux keeps (KIVO_CrashRecords.h): they join the lists of the
    // BP, AP and kernel sources on the screens and have words of their own in kivo-panic.
    PANIC_PSTORE = 4,
    PANIC_COREDUMP = 5,
    PANIC_DEVCD = 6,
};

// The device paths of the panic sources; every open goes through plRootedPath().
constexpr const char *PANIC_BP_FILE_1 = "/veklocal/panic/bp_panic.log1";
constexpr const char *PANIC_BP_FILE_2 = "/veklocal/panic/bp_panic.log2";
constexpr const char *PANIC_QUIRN_FILE_A = "/veklocal/panic/qupanic_block.a";
constexpr const char *PANIC_QUIRN_FILE_B = "/veklocal/panic/qupanic_block.b";
constexpr const char *PANIC_DUMP_DIR = "/veklocal/apr_app_dump";
constexpr const char *PANIC_MODULE_TABLE = "/usr/data_resource/apr/coredump_table.cfg";
constexpr const char *PANIC_KERNEL_PARTITION = "/dev/mtdblock/kpanic";

// Panic ids of the AP dumps of unknown modules and of the kernel panic.
constexpr uint32_t PANIC_ID_UNKNOWN_MODULE = 0x82100;
constexpr uint32_t PANIC_ID_KERNEL = 0x82000;

// At most this many data bytes of a BP or QUIRN block are kept.
constexpr uint32_t PANIC_DATA_MAX = 36;
// The panic count is 8-bit: a source yields at most this many numbered records.
constexpr uint32_t PANIC_MAX_RECORDS = 255;
// A module table line is read up to this many characters; the rest of a longer line is dropped.
constexpr size_t PANIC_TABLE_LINE_MAX = 255;
// At most this many bytes of the module table file are read.
constexpr size_t PANIC_TABLE_READ_MAX = 1024 * 1024;
// The kernel panic report is read up to its end, at most this many bytes: the largest panic
// partition a phone has. Only one line is kept in memory at a time.
constexpr size_t PANIC_KERNEL_REPORT_MAX = 64 * 1024 * 1024;
// The kernel capture gives up when the report's command has not ended within this time.
constexpr int PANIC_KERNEL_TIMEOUT_MS = 3000;

// One BP or QUIRN panic block.
struct PanicRecord {
    uint32_t timestamp; // seconds since the Unix epoch
    uint32_t panicId;
    uint32_t length;              // data length as stored in the block, not clipped
    uint32_t panicNum;            // 1-based number within the source
    uint8_t data[PANIC_DATA_MAX]; // the first min(length, 36) bytes count
    uint8_t version[3];
};

// One element of the panic list; owns its record (`data`), whose kind follows from the list's
// PanicType: PanicRecord for BP and QUIRN, ApDumpRecord for AP, KernelPanicRecord for kernel.
// The record is read through visitPanicRecord() (KIVO_PanicVisit.h), the one cast of `data`.
struct PanicNode {
    void *data;
    PanicNode *prev; // nearer the head, null at the head
    PanicNode *next; // nearer the tail, null at the tail
};

// One AP core dump file.
struct ApDumpRecord {
    uint32_t moduleId; // from the module table, PANIC_ID_UNKNOWN_MODULE when not found
    int64_t timestamp; // the dump file's modification time, 64-bit on every architecture
    uint32_t panicNum; // 1-based position in the age-sorted listing
    uint32_t nameLength;
    char moduleName[25];
    char fileName[259];
};

// The one kernel panic record. The time is 64 bits wide wherever time_t is not: a report
// may carry a time after January 2038.
struct KernelPanicRecord {
    int64_t timestamp;
    uint32_t panicId; // always PANIC_ID_KERNEL
};

// One row of the module table.
struct CoreModuleEntry {
    uint32_t moduleId;
    char moduleName[28];
};

struct CoreModuleTable {
    CoreModuleEntry rows[256];
    uint16_t count; // rows in use, at most 255
};

// The module table of the whole program, read afresh by every readApPanics().
extern CoreModuleTable coreModuleTable;

// Where the readers write their traces: stderr unless set otherwise; a null sink silences them.
void setPanicTraceSink(FILE *sink);
FILE *panicTraceSink();
// The panic trace line of every panic reader, "{1} <file>:<line>\t<text>\n", into that sink.
void panicTrace(const char *file, int line, const char *format, ...)
    __attribute__((format(printf, 3, 4)));

// Converts one big-endian field of 2 or 4 bytes in place to host order. Any other size, or a
// null field, leaves it alone.
void swapToHostOrder(void *field, size_t size);

// Puts `record` at the head of the list. The list takes the record in every case: when no node
// can be allocated it traces, frees the record and returns false.
bool addPanicNode(PanicNode **head, void *record);
// Frees the head's record and node; returns 1, or 0 (and does nothing) on an empty list.
int removeFirstPanicNode(PanicNode **head);
// Frees the whole list, records included; the head ends null.
void freePanicList(PanicNode **head);

// Read every block of one open panic file into the list, numbering on from *count.
void readBpPanicBlocks(FILE *file, PanicNode **head, uint8_t *count);
void readQuirnPanicBlocks(FILE *file, PanicNode **head, uint8_t *count);

// Set *count to 0 and read both files of the source, the older one first.
void readBpPanics(PanicNode **head, uint8_t *count);
void readQuirnPanics(PanicNode **head, uint8_t *count);

// Fills coreModuleTable from the module table file. Returns 0.
int loadCoreModuleTable();
// Takes the module name (at most 24 characters, into a buffer of at least 25) from a dump file
// name and looks it up. Returns 0, or 4 for a name without "core." and a later ".".
int lookupCoreModule(const char *fileName, uint32_t *moduleId, char *moduleName);
// The dump scan's filter and order: names containing "core"; older files first, entries that
// cannot be stat'ed last (by name).
int isCoreDumpName(const struct dirent *entry);
int compareDumpAge(const struct dirent **a, const struct dirent **b);
// Builds one record per dump file, of the newest 255 entries, and sets *count to the number of
// entries taken.
void readApPanics(PanicNode **head, uint8_t *count);

// Adds at most one KernelPanicRecord, from the kernel panic report; leaves the count alone.
void readKernelPanic(PanicNode **head);
// Reads the report up to its first time line, at most PANIC_KERNEL_REPORT_MAX bytes, and
// returns that time, or -1 when there is no time line or no valid time. Traces the broken-down
// time when a line is found.
int64_t readKernelPanicTime(FILE *report);

// Looks for the kernel report's first time line ("Current Time = ") in a report fed piece by
// piece, keeping at most one piece of a line (or the last bytes of a long line) at a time.
class KernelTimeScan {
public:
    KernelTimeScan();
    // False once the time line is complete: nothing more is needed.
    bool feed(const char *data, size_t size);
    // The time of the line found (traced broken down), or -1 when none or no valid one.
    int64_t time() const;

private:
    static constexpr size_t s_fieldsLength = 34; // the marker and "YYYY-MM-DD HH:MM:SS"
    std::string m_text;                          // the current line, or a long line's tail
    size_t m_markerAt = std::string::npos;
    bool m_complete = false;
};

// One run of a command for the kernel capture: /bin/sh runs `command` in a process group of its
// own, with its standard error on /dev/null; at most `limit` bytes of its standard output are
// kept. When the output has not ended within `timeoutMs`, or passes the limit, the whole group is
// killed. The child is always waited for.
struct PanicCommandRun {
    QByteArray output;
    bool started = false;
    bool timedOut = false;
    pid_t pid = -1;
};
PanicCommandRun runPanicCommand(const QByteArray &command, size_t limit, int timeoutMs);
// The same, handing each piece of output to `sink` as it comes instead of keeping it; the run
// also ends (the group killed) as soon as `sink` returns false. `output` stays empty.
using PanicOutputSink = std::function<bool(const char *data, size_t size)>;
PanicCommandRun runPanicCommand(const QByteArray &command, size_t limit, int timeoutMs,
                                const PanicOutputSink &sink);

// The panic number of a node; 0 for a kernel node, a null node or record, or an unknown type.
uint32_t panicNumber(PanicType type, const PanicNode *node);

// Searches from `from` for the record numbered `target`, towards the tail while the numbers are
// greater and towards the head while they are smaller. Returns the node, or null when no record
// carries the number (the walk would leave the list or turn back on a gap). For PANIC_KERNEL and
// any type other than BP, QUIRN and AP there is no search: `from` is returned as it is.
PanicNode *findPanicNode(PanicType type, PanicNode *from, uint32_t target);
