#include "KIVO_Panic_Util.h"

#include "KIVO_PanicVisit.h"

#include "PlFileStatus.h"
#include "PlRoot.h"
#include "PlSafeFile.h"

#include <QByteArray>
#include <QDateTime>

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdarg>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <poll.h>
#include <string>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <utility>
#include <vector>

CoreModuleTable coreModuleTable;

namespace {

const char *const s_traceFile = "KIVO_Panic_Util";

bool s_sinkSet = false;
FILE *s_sink = nullptr;

// A trace as it stands, into the trace sink.
void trace(const char *format, ...) __attribute__((format(printf, 1, 2)));

void trace(const char *format, ...)
{
    FILE *sink = panicTraceSink();
    if (!sink) {
        return;
    }
    va_list args;
    va_start(args, format);
    std::vfprintf(sink, format, args);
    va_end(args);
}

// Opens a panic source without blocking (a FIFO or a stalled device must not hang the reader)
// and keeps it only when it is a regular file, or with `blockDevice` a block device too.
// Returns the descriptor, or -1 (errno set) for anything else.
int openSourceFile(const char *path, bool blockDevice = false)
{
    const int fd = open(path, O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        return -1;
    }
    PlFileStatus info;
    if (plFileStatus(fd, &info) != 0 ||
        !(S_ISREG(info.mode) || (blockDevice && S_ISBLK(info.mode)))) {
        close(fd);
        errno = EINVAL;
        return -1;
    }
    return fd;
}

FILE *openSourceStream(const char *path)
{
    const int fd = openSourceFile(path);
    if (fd < 0) {
        return nullptr;
    }
    FILE *file = fdopen(fd, "rb");
    if (!file) {
        close(fd);
    }
    return file;
}

// Reads one line into `line`, keeping at most `keep` characters of it; the rest of a longer
// line is read and dropped, so it never becomes a line of its own. Every byte read counts
// against `budget`; the reading ends when it is spent. Returns false when no line was read.
bool readBoundedLine(FILE *file, std::string *line, size_t keep, size_t *budget)
{
    line->clear();
    bool any = false;
    while (*budget > 0) {
        const int c = getc(file);
        if (c == EOF) {
            break;
        }
        --*budget;
        any = true;
        if (line->size() < keep) {
            line->push_back(char(c));
        }
        if (c == '\n') {
            break;
        }
    }
    return any;
}

#define PANIC_TRACE(...) panicTrace(s_traceFile, __LINE__, __VA_ARGS__)

bool isLittleEndianHost()
{
    const uint16_t probe = 1;
    uint8_t first;
    std::memcpy(&first, &probe, 1);
    return first == 1;
}

uint16_t field16(const uint8_t *header, size_t offset)
{
    uint16_t value;
    std::memcpy(&value, header + offset, sizeof value);
    return value;
}

uint32_t field32(const uint8_t *header, size_t offset)
{
    uint32_t value;
    std::memcpy(&value, header + offset, sizeof value);
    return value;
}

// What sets the BP and QUIRN block formats apart.
struct BlockFormat {
    size_t headerLength;
    size_t lengthOffset;
    bool magicAsWord; // BP tests the magic as one 16-bit value, QUIRN as two bytes
};

constexpr BlockFormat s_bpFormat = {43, 39, true};
constexpr BlockFormat s_quirnFormat = {71, 67, false};
constexpr size_t s_maxHeaderLength = 71;

void readPanicBlocks(FILE *file, PanicNode **head, uint8_t *count, const BlockFormat &format)
{
    if (!file || !head || !count) {
        return;
    }
    uint8_t header[s_maxHeaderLength];
    uint8_t data[PANIC_DATA_MAX];
    const size_t headerLength = format.headerLength;

    std::fseek(file, 0, SEEK_SET);
    while (!std::feof(file)) {
        if (std::fread(header, 1, headerLength, file) < headerLength) {
            PANIC_TRACE("Error in reading");
            return;
        }
        if (format.magicAsWord) {
            swapToHostOrder(header + 0, 2);
        }
        swapToHostOrder(header + 2, 2);
        swapToHostOrder(header + format.lengthOffset, 4);
        swapToHostOrder(header + 16, 4);
        swapToHostOrder(header + 12, 4);

        if (format.magicAsWord) {
            const uint16_t magic = field16(header, 0);
            if (magic != 0xB5C7) {
                trace("Wrong Header : 0x%x", magic);
            }
        } else if (header[0] != 0xB5 || header[1] != 0xC7) {
            trace("Header of this block is wrong :%x%x!!!", header[0], header[1]);
        }

        const uint32_t length = field32(header, format.lengthOffset);
        const size_t kept = length < PANIC_DATA_MAX ? length : PANIC_DATA_MAX;
        if (std::fread(data, 1, kept, file) < kept) {
            PANIC_TRACE("Error in reading panic data");
            return;
        }

        // The 8-bit count cannot number a further record: the pass ends here.
        if (*count >= PANIC_MAX_RECORDS) {
            return;
        }
        auto *record = allocPanicRecord<PanicRecord>();
        if (!record) {
            return;
        }
        record->timestamp = field32(header, 16);
        record->panicId = field32(header, 12);
        record->version[0] = header[20];
        record->version[1] = header[21];
        record->version[2] = header[22];
        record->length = length;
        record->panicNum = *count + 1u;
        std::memcpy(record->data, data, kept);
        if (!addPanicNode(head, record)) {
            return;
        }
        ++*count;

        // A size field too small for what was read would turn the skip into a step back.
        const size_t blockSize = field16(header, 2);
        if (blockSize < headerLength + kept) {
            return;
        }
        if (std::fseek(file, static_cast<long>(blockSize - kept - headerLength), SEEK_CUR) != 0) {
            return;
        }
    }
}

struct OpenPanicFile {
    FILE *file = nullptr;
    int64_t modified = 0;
};

OpenPanicFile openPanicFile(const char *devicePath)
{
    OpenPanicFile opened;
    // Anything but a regular file (a FIFO, a device) is unreadable, like a missing file.
    opened.file = openSourceStream(plRootedPath(devicePath).constData());
    if (!opened.file) {
        trace("Unable to read %s", devicePath);
        return opened;
    }
    PlFileStatus info;
    if (plFileStatus(fileno(opened.file), &info) == 0) {
        opened.modified = info.modified;
    }
    return opened;
}

void readPanicPair(const char *firstPath, const char *secondPath, PanicNode **head, uint8_t *count,
                   void (*readBlocks)(FILE *, PanicNode **, uint8_t *))
{
    if (!head || !count) {
        return;
    }
    *count = 0;
    OpenPanicFile first = openPanicFile(firstPath);
    OpenPanicFile second = openPanicFile(secondPath);
    // The file modified earlier is read first; on equal times the first of the pair.
    if (first.file && second.file && first.modified > second.modified) {
        std::swap(first, second);
    }
    for (const OpenPanicFile &opened : {first, second}) {
        if (opened.file) {
            readBlocks(opened.file, head, count);
        }
    }
    for (const OpenPanicFile &opened : {first, second}) {
        if (opened.file) {
            std::fclose(opened.file);
        }
    }
}

QByteArray dumpPath(const char *entryName)
{
    return plRootedPath(PANIC_DUMP_DIR) + '/' + entryName;
}

// A dump file's age as the scan sorts it: its modification time, or none when it cannot be
// stat'ed (a dangling symlink, a loop, a file deleted meanwhile).
struct DumpAge {
    bool known;
    int64_t modified;
};

DumpAge dumpAge(const char *entryName)
{
    PlFileStatus info;
    if (plFileStatus(dumpPath(entryName).constData(), &info) != 0) {
        return {false, 0};
    }
    return {true, info.modified};
}

// Older first, entries of unknown age last; equal times (and unknown ages) sort by name, so a
// listing comes out the same every time.
int compareAges(DumpAge ageA, const char *nameA, DumpAge ageB, const char *nameB)
{
    if (ageA.known != ageB.known) {
        return ageA.known ? -1 : 1;
    }
    if (ageA.modified != ageB.modified) {
        return ageA.modified < ageB.modified ? -1 : 1;
    }
    return std::strcmp(nameA, nameB);
}

// The entries the scan takes, in compareDumpAge's order: the newest PANIC_MAX_RECORDS of those
// whose age is known, then those of unknown age while there is room (the walk traces and drops
// them). Each file's time is read once: sorting with compareDumpAge itself reads two files at
// every comparison, over 3000 stat calls for 255 dumps.
std::vector<struct dirent *> takenByAge(struct dirent **entries, int listed)
{
    struct AgedEntry {
        DumpAge age;
        struct dirent *entry;
    };
    std::vector<AgedEntry> aged;
    aged.reserve(static_cast<size_t>(listed));
    size_t known = 0;
    for (int i = 0; i < listed; ++i) {
        aged.push_back({dumpAge(entries[i]->d_name), entries[i]});
        known += aged.back().age.known ? 1 : 0;
    }
    std::sort(aged.begin(), aged.end(), [](const AgedEntry &a, const AgedEntry &b) {
        return compareAges(a.age, a.entry->d_name, b.age, b.entry->d_name) < 0;
    });
    const size_t first = known > PANIC_MAX_RECORDS ? known - PANIC_MAX_RECORDS : 0;
    std::vector<struct dirent *> taken;
    for (size_t i = first; i < aged.size() && taken.size() < PANIC_MAX_RECORDS; ++i) {
        taken.push_back(aged[i].entry);
    }
    return taken;
}

bool isBlankLine(const char *line)
{
    return line[0] == '\0' || std::strcmp(line, "\n") == 0 || std::strcmp(line, "\r\n") == 0;
}

// One field of the kernel time line: `width` characters from `position`, never beyond the end
// of the line, converted as a decimal number.
int timeField(const char *marker, size_t position, size_t width)
{
    char buffer[5] = {};
    const size_t available = std::strlen(marker);
    if (position < available) {
        const size_t copied = std::min(width, available - position);
        std::memcpy(buffer, marker + position, copied);
    }
    return static_cast<int>(std::strtol(buffer, nullptr, 10));
}

// mktime() of the kernel's time line. A 32-bit time_t ends in January 2038: from 2036 on such
// a system the time goes through Qt's calendar instead, carrying the fields over as mktime()
// does (day 0 is the last day of the month before, second 60 the next minute's first).
int64_t localSeconds(struct tm broken)
{
    const int64_t months = int64_t(broken.tm_year) * 12 + broken.tm_mon;
    if (sizeof(time_t) >= sizeof(int64_t) || months < 136 * 12) {
        return std::mktime(&broken);
    }
    const QDate firstOfMonth(int(months / 12) + 1900, int(months % 12) + 1, 1);
    const int64_t wallSeconds = QDateTime(firstOfMonth, QTime(0, 0), Qt::UTC).toSecsSinceEpoch() +
                                (int64_t(broken.tm_mday) - 1) * 86400 +
                                int64_t(broken.tm_hour) * 3600 + int64_t(broken.tm_min) * 60 +
                                broken.tm_sec;
    const QDateTime wall = QDateTime::fromSecsSinceEpoch(wallSeconds, Qt::UTC);
    return QDateTime(wall.date(), wall.time(), Qt::LocalTime).toSecsSinceEpoch();
}

} // namespace

void swapToHostOrder(void *field, size_t size)
{
    if (!field || (size != 2 && size != 4)) {
        return;
    }
    if (isLittleEndianHost()) {
        PANIC_TRACE("Chip is low Word Order");
        auto *bytes = static_cast<uint8_t *>(field);
        for (size_t i = 0; i < size / 2; ++i) {
            std::swap(bytes[i], bytes[size - 1 - i]);
        }
    }
    trace("Return");
}

void setPanicTraceSink(FILE *sink)
{
    s_sinkSet = true;
    s_sink = sink;
}

FILE *panicTraceSink()
{
    return s_sinkSet ? s_sink : stderr;
}

void panicTrace(const char *file, int line, const char *format, ...)
{
    FILE *sink = panicTraceSink();
    if (!sink) {
        return;
    }
    std::fprintf(sink, "{%d} %s:%d\t", 1, file, line);
    va_list args;
    va_start(args, format);
    std::vfprintf(sink, format, args);
    va_end(args);
    std::fprintf(sink, "\n");
}

bool addPanicNode(PanicNode **head, void *record)
{
    if (!head) {
        std::free(record);
        return false;
    }
    auto *node = static_cast<PanicNode *>(std::calloc(1, sizeof(PanicNode)));
    if (!node) {
        trace("Unable to allocate memory for node");
        std::free(record);
        return false;
    }
    node->data = record;
    node->prev = nullptr;
    node->next = *head;
    if (*head) {
        (*head)->prev = node;
    }
    *head = node;
    return true;
}

int removeFirstPanicNode(PanicNode **head)
{
    if (!head || !*head) {
        return 0;
    }
    PanicNode *first = *head;
    std::free(first->data);
    *head = first->next;
    if (*head) {
        (*head)->prev = nullptr;
    }
    std::free(first);
    return 1;
}

void freePanicList(PanicNode **head)
{
    if (!head) {
        return;
    }
    while (*head) {
        removeFirstPanicNode(head);
    }
}

void readBpPanicBlocks(FILE *file, PanicNode **head, uint8_t *count)
{
    readPanicBlocks(file, head, count, s_bpFormat);
}

void readQuirnPanicBlocks(FILE *file, PanicNode **head, uint8_t *count)
{
    readPanicBlocks(file, head, count, s_quirnFormat);
}

void readBpPanics(PanicNode **head, uint8_t *count)
{
    readPanicPair(PANIC_BP_FILE_1, PANIC_BP_FILE_2, head, count, readBpPanicBlocks);
}

void readQuirnPanics(PanicNode **head, uint8_t *count)
{
    readPanicPair(PANIC_QUIRN_FILE_A, PANIC_QUIRN_FILE_B, head, count, readQuirnPanicBlocks);
}

int loadCoreModuleTable()
{
    std::memset(&coreModuleTable, 0, sizeof coreModuleTable);
    FILE *file = openSourceStream(plRootedPath(PANIC_MODULE_TABLE).constData());
    if (!file) {
        trace("No fatal panic config file or fail to open it");
        return 0;
    }
    // At most 255 characters of a line count; the rest of a longer line is dropped, so it is
    // never split into two entries. The file is read up to PANIC_TABLE_READ_MAX bytes.
    std::string text;
    size_t budget = PANIC_TABLE_READ_MAX;
    while (readBoundedLine(file, &text, PANIC_TABLE_LINE_MAX, &budget)) {
        const char *line = text.c_str();
        if (isBlankLine(line) || line[0] == '#') {
            continue;
        }
        CoreModuleEntry &row = coreModuleTable.rows[coreModuleTable.count];
        unsigned int id = 0;
        if (std::sscanf(line, "%x=%24s", &id, row.moduleName) >= 1) {
            row.moduleId = id;
            trace("module id=%x,module name=%s", row.moduleId,
                  plTraceEscaped(QByteArray(row.moduleName)).constData());
            ++coreModuleTable.count;
        } else {
            std::memset(&row, 0, sizeof row);
        }
        if (coreModuleTable.count >= PANIC_MAX_RECORDS) {
            break;
        }
    }
    std::fclose(file);
    return 0;
}

int lookupCoreModule(const char *fileName, uint32_t *moduleId, char *moduleName)
{
    const char *start = fileName ? std::strstr(fileName, "core.") : nullptr;
    const char *end = start ? std::strchr(start + 5, '.') : nullptr;
    if (!end) {
        trace("Unexpected filename %s", plTraceEscaped(QByteArray(fileName)).constData());
        return 4;
    }
    start += 5;
    const size_t length = std::min<size_t>(end - start, 24);
    std::memcpy(moduleName, start, length);
    moduleName[length] = '\0';
    trace("Tracing module - %s", plTraceEscaped(QByteArray(moduleName)).constData());

    *moduleId = PANIC_ID_UNKNOWN_MODULE;
    for (uint16_t i = 0; i < coreModuleTable.count; ++i) {
        if (std::strcmp(coreModuleTable.rows[i].moduleName, moduleName) == 0) {
            *moduleId = coreModuleTable.rows[i].moduleId;
            break;
        }
    }
    return 0;
}

int isCoreDumpName(const struct dirent *entry)
{
    return entry && std::strstr(entry->d_name, "core") != nullptr;
}

int compareDumpAge(const struct dirent **a, const struct dirent **b)
{
    return compareAges(dumpAge((*a)->d_name), (*a)->d_name, dumpAge((*b)->d_name), (*b)->d_name);
}

void readApPanics(PanicNode **head, uint8_t *count)
{
    if (!head || !count) {
        return;
    }
    struct dirent **entries = nullptr;
    const int listed =
        scandir(plRootedPath(PANIC_DUMP_DIR).constData(), &entries, isCoreDumpName, nullptr);
    const int listError = errno;
    // The 8-bit count numbers at most 255 dumps: the newest are the ones taken.
    const std::vector<struct dirent *> taken =
        listed > 0 ? takenByAge(entries, listed) : std::vector<struct dirent *>();
    const int used = static_cast<int>(taken.size());
    *count = static_cast<uint8_t>(used);

    loadCoreModuleTable();

    if (listed < 0) {
        PANIC_TRACE("Read dir failed - %s", std::strerror(listError));
        return;
    }
    if (listed == 0) {
        PANIC_TRACE("No valid dump file");
    }
    for (int i = 0; i < used; ++i) {
        PlFileStatus info;
        const int result = plFileStatus(dumpPath(taken[size_t(i)]->d_name).constData(), &info);
        if (result != 0) {
            // Entries that cannot be stat'ed sort last: only they are lost, each with its trace.
            const int statError = errno;
            PANIC_TRACE("stat error:%d,%d, %s", result, statError, std::strerror(statError));
            continue;
        }
        auto *record = allocPanicRecord<ApDumpRecord>();
        if (!record) {
            break;
        }
        record->timestamp = info.modified;
        record->panicNum = static_cast<uint32_t>(i + 1);
        std::strncpy(record->fileName, taken[size_t(i)]->d_name, sizeof record->fileName - 1);
        if (lookupCoreModule(record->fileName, &record->moduleId, record->moduleName) == 4) {
            std::free(record);
            continue;
        }
        record->nameLength = static_cast<uint32_t>(std::strlen(record->moduleName));
        if (!addPanicNode(head, record)) {
            break;
        }
    }
    for (int i = 0; i < listed; ++i) {
        std::free(entries[i]);
    }
    std::free(entries);
}

KernelTimeScan::KernelTimeScan() = default;

bool KernelTimeScan::feed(const char *data, size_t size)
{
    static const char marker[] = "Current Time = ";
    const size_t markerLength = sizeof marker - 1;
    // Piece by piece, each up to the next line end.
    while (size > 0 && !m_complete) {
        const void *lineEnd = std::memchr(data, '\n', size);
        const size_t taken = lineEnd ? size_t(static_cast<const char *>(lineEnd) - data) + 1 : size;
        if (m_markerAt == std::string::npos) {
            // Only the new bytes, and the few before them, can hold a marker not yet seen.
            const size_t from = m_text.size() >= markerLength ? m_text.size() - markerLength : 0;
            m_text.append(data, taken);
            m_markerAt = m_text.find(marker, from);
            if (m_markerAt == std::string::npos) {
                // A long line keeps only what could still begin the marker.
                const size_t kept = lineEnd ? 0 : std::min(m_text.size(), markerLength - 1);
                m_text.erase(0, m_text.size() - kept);
            }
        } else {
            m_text.append(data, std::min(taken, s_fieldsLength));
        }
        if (m_markerAt != std::string::npos) {
            m_complete = lineEnd || m_text.size() - m_markerAt >= s_fieldsLength;
            m_text.resize(std::min(m_text.size(), m_markerAt + s_fieldsLength));
        }
        data += taken;
        size -= taken;
    }
    return !m_complete;
}

int64_t KernelTimeScan::time() const
{
    if (m_markerAt == std::string::npos) {
        return -1;
    }
    const char *found = m_text.c_str() + m_markerAt;
    struct tm broken;
    std::memset(&broken, 0, sizeof broken);
    broken.tm_year = timeField(found, 15, 4) - 1900;
    broken.tm_mon = timeField(found, 20, 2) - 1;
    broken.tm_mday = timeField(found, 23, 2);
    broken.tm_hour = timeField(found, 26, 2);
    broken.tm_min = timeField(found, 29, 2);
    broken.tm_sec = timeField(found, 32, 2);
    // The report carries no daylight-saving flag: the library decides.
    broken.tm_isdst = -1;
    trace("year=%d,mon=%d,day=%d,hour=%d,min=%d,sec=%d", broken.tm_year, broken.tm_mon,
          broken.tm_mday, broken.tm_hour, broken.tm_min, broken.tm_sec);
    return localSeconds(broken);
}

int64_t readKernelPanicTime(FILE *report)
{
    if (!report) {
        return -1;
    }
    // The whole report up to its cap, but never more than one line (or a long line's tail) at
    // a time in memory.
    KernelTimeScan scan;
    char buffer[16384];
    size_t budget = PANIC_KERNEL_REPORT_MAX;
    while (budget > 0) {
        const size_t got = std::fread(buffer, 1, std::min(sizeof buffer, budget), report);
        if (got == 0 || !scan.feed(buffer, got)) {
            break;
        }
        budget -= got;
    }
    return scan.time();
}

namespace {

int64_t monotonicMs()
{
    struct timespec now;
    clock_gettime(CLOCK_MONOTONIC, &now);
    return int64_t(now.tv_sec) * 1000 + now.tv_nsec / 1000000;
}

} // namespace

PanicCommandRun runPanicCommand(const QByteArray &command, size_t limit, int timeoutMs)
{
    QByteArray output;
    PanicCommandRun run =
        runPanicCommand(command, limit, timeoutMs, [&output](const char *data, size_t size) {
            output.append(data, int(size));
            return true;
        });
    run.output = output;
    return run;
}

PanicCommandRun runPanicCommand(const QByteArray &command, size_t limit, int timeoutMs,
                                const PanicOutputSink &sink)
{
    PanicCommandRun run;
    size_t taken = 0;
    int pipeFds[2];
    if (pipe2(pipeFds, O_CLOEXEC) != 0) {
        return run;
    }
    const QByteArray shellCommand = command; // kept alive for the child
    const pid_t pid = fork();
    if (pid < 0) {
        close(pipeFds[0]);
        close(pipeFds[1]);
        return run;
    }
    if (pid == 0) {
        // Only async-signal-safe calls from here on.
        setpgid(0, 0);
        dup2(pipeFds[1], STDOUT_FILENO);
        const int null = open("/dev/null", O_RDWR);
        if (null >= 0) {
            dup2(null, STDERR_FILENO);
            dup2(null, STDIN_FILENO);
        }
        execl("/bin/sh", "sh", "-c", shellCommand.constData(), static_cast<char *>(nullptr));
        _exit(127);
    }
    setpgid(pid, pid); // also done by the child; whichever comes first
    close(pipeFds[1]);
    run.started = true;
    run.pid = pid;

    const int64_t deadline = monotonicMs() + timeoutMs;
    bool ended = false;
    char buffer[16384];
    while (!ended) {
        const int64_t left = deadline - monotonicMs();
        if (left <= 0) {
            run.timedOut = true;
            break;
        }
        struct pollfd watched = {pipeFds[0], POLLIN, 0};
        const int ready = poll(&watched, 1, int(left));
        if (ready < 0 && errno == EINTR) {
            continue;
        }
        if (ready < 0) {
            break;
        }
        if (ready == 0) {
            continue; // the deadline is checked above
        }
        const ssize_t got = read(pipeFds[0], buffer, sizeof buffer);
        if (got < 0 && errno == EINTR) {
            continue;
        }
        if (got <= 0) {
            ended = true;
            break;
        }
        const size_t used = std::min(size_t(got), limit - taken);
        taken += used;
        if (!sink(buffer, used) || taken >= limit) {
            break;
        }
    }
    close(pipeFds[0]);
    if (!ended) {
        // Stalled or more than can be used: the command and whatever it started end here.
        kill(-pid, SIGKILL);
        kill(pid, SIGKILL);
    }
    int status = 0;
    while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    return run;
}

void readKernelPanic(PanicNode **head)
{
    // The path is quoted whole for the shell whenever a root is in force (an absolute one, so
    // cat never takes it for an option); without one the command stands as on the device. cat's
    // own complaint about a missing partition must not mix into KIVO's traces: a missing
    // partition is simply no kernel panic.
    const QByteArray partition = plRootedPath(PANIC_KERNEL_PARTITION);
    const QByteArray command = "cat " +
                               (plRoot().isEmpty() ? partition : plShellQuoted(partition)) +
                               " 2>/dev/null";
    // A partition that is neither a regular file nor a block device (a FIFO, a character
    // device) is read as a missing one: no output.
    const int probe = openSourceFile(partition.constData(), true);
    const bool readable = probe >= 0;
    if (readable) {
        close(probe);
    }
    // The report is scanned as it comes: a time line anywhere in it is found, in one line's
    // memory, and the command ends as soon as the line is complete.
    KernelTimeScan scan;
    PanicCommandRun run;
    if (readable) {
        run = runPanicCommand(
            command, PANIC_KERNEL_REPORT_MAX, PANIC_KERNEL_TIMEOUT_MS,
            [&scan](const char *data, size_t size) { return scan.feed(data, size); });
    }
    trace("Enter");
    if (readable && !run.started) {
        trace("No New Kernel Panic, reseting the status...");
        return;
    }
    int64_t panicTime = -1;
    if (run.timedOut) {
        trace("No answer from %s within %d s, kernel panic not read", PANIC_KERNEL_PARTITION,
              PANIC_KERNEL_TIMEOUT_MS / 1000);
    } else {
        panicTime = scan.time();
    }

    if (panicTime == -1) {
        trace("No new Kernel panic - %d", -1);
    } else {
        auto *record = allocPanicRecord<KernelPanicRecord>();
        if (!record) {
            trace("Failed to allocate memory for valid Kernel Panic");
        } else {
            record->timestamp = panicTime;
            record->panicId = PANIC_ID_KERNEL;
            addPanicNode(head, record);
        }
    }
}

uint32_t panicNumber(PanicType type, const PanicNode *node)
{
    return visitPanicRecord(type, node,
                            PanicVisitor{[](const KernelPanicRecord &) { return 0u; },
                                         [](const auto &record) { return record.panicNum; }});
}

PanicNode *findPanicNode(PanicType type, PanicNode *from, uint32_t target)
{
    if (type == PANIC_KERNEL || panicNumber(type, from) == 0) {
        return from;
    }
    // The numbers fall from the head to the tail. A walk that has to turn back has passed the
    // place where the number would be: there is a gap, not a record.
    int direction = 0;
    PanicNode *node = from;
    while (node && node->data) {
        const uint32_t number = panicNumber(type, node);
        if (number == target) {
            return node;
        }
        const int step = number > target ? 1 : -1;
        if (direction != 0 && step != direction) {
            return nullptr;
        }
        direction = step;
        node = step > 0 ? node->next : node->prev;
    }
    return nullptr;
}
