// kivo-bench-panic: times the building of the panic list of each source at its largest, and
// again with the data doubled. It writes the panic sources under roots of its own (a temporary
// directory), then runs the readers round after round, every case once per round, so that all
// cases see the same machine. Prints two lines per measurement to stdout:
//     <case> <wall-clock nanoseconds>
//     <case>_cpu <nanoseconds of this thread's CPU time>
// and "error: ..." lines for anything that is not as written (the run then ends with status 1).
//
// The readers trace to stderr, unbuffered, as on the device; this program sends stderr to
// /dev/null, so that a terminal's speed is not what is measured.
#include "KIVO_BigEndian.h"
#include "KIVO_Panic_Util.h"
#include "PlRoot.h"

#include <QByteArray>
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QList>
#include <QTemporaryDir>

#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <functional>
#include <sys/stat.h>
#include <utime.h>

namespace {

using KIVO_BigEndian::be16;
using KIVO_BigEndian::be32;

constexpr quint32 s_baseTime = 1714800000; // 4 May 2024

qint64 nowNs(clockid_t clock)
{
    timespec now;
    clock_gettime(clock, &now);
    return qint64(now.tv_sec) * 1000000000LL + now.tv_nsec;
}

// One BP (header 43 bytes) or QUIRN (71 bytes) block with `dataLength` data bytes, padded to
// a four-byte boundary.
QByteArray panicBlock(int headerLength, quint32 id, int dataLength)
{
    QByteArray block = QByteArray::fromHex("b5c7") + be16(0) + QByteArray(8, '\0') + be32(id) +
                       be32(s_baseTime + id) + QByteArray::fromHex("010203");
    block += QByteArray(headerLength - 4 - block.size(), '\0');
    block += be32(quint32(dataLength));
    for (int i = 0; i < dataLength; ++i) {
        block += char('A' + i % 26);
    }
    block += QByteArray((4 - block.size() % 4) % 4, '\0');
    const QByteArray size = be16(quint16(block.size()));
    block[2] = size[0];
    block[3] = size[1];
    return block;
}

bool writeFile(const QString &path, const QByteArray &content, quint32 modified)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) ||
        file.write(content) != content.size()) {
        std::printf("error: cannot write %s\n", qPrintable(path));
        return false;
    }
    file.close();
    utimbuf times = {time_t(modified), time_t(modified)};
    return utime(QFile::encodeName(path).constData(), &times) == 0;
}

// A pair of block files holding `blocks` blocks, the older file the larger half.
bool writeBlockPair(const QString &root, const char *older, const char *newer, int headerLength,
                    int blocks, int dataLength)
{
    QByteArray first;
    QByteArray second;
    const int inOlder = (blocks + 1) / 2;
    for (int i = 0; i < blocks; ++i) {
        (i < inOlder ? first : second) += panicBlock(headerLength, quint32(i + 1), dataLength);
    }
    return writeFile(root + QLatin1String(older), first, s_baseTime) &&
           writeFile(root + QLatin1String(newer), second, s_baseTime + 60);
}

// `dumps` core dump files whose modification times are a permutation of their order by name,
// so that the age sort has work to do, and a module table of `tableLines` lines. Dump i crashed
// in module (37 i mod n), n the number of table entries the reader takes (at most 255): every
// lookup finds its module, the lookups spread over the whole table.
bool writeApSource(const QString &root, int dumps, int tableLines)
{
    QByteArray table = "# module table\n";
    for (int i = 0; i < tableLines; ++i) {
        table += QByteArray::number(0x100 + i, 16) + "=module" + QByteArray::number(i) + '\n';
    }
    if (!writeFile(root + QLatin1String(PANIC_MODULE_TABLE), table, s_baseTime)) {
        return false;
    }
    const QByteArray dump(64, '\x7f');
    const int used = qMin(tableLines, int(PANIC_MAX_RECORDS));
    for (int i = 0; i < dumps; ++i) {
        const QString name = QStringLiteral("/core.module%1.%2").arg((37 * i) % used).arg(1000 + i);
        const quint32 age = quint32((101 * i) % dumps);
        if (!writeFile(root + QLatin1String(PANIC_DUMP_DIR) + name, dump, s_baseTime + age)) {
            return false;
        }
    }
    return true;
}

// A kernel report of `bytes` bytes of log lines, the time line last.
bool writeKernelReport(const QString &root, int bytes)
{
    const QByteArray timeLine = "Current Time = 2024-05-04 13:05:09\n";
    QByteArray report;
    report.reserve(bytes);
    for (int i = 0; report.size() + timeLine.size() < bytes; ++i) {
        report += "[" + QByteArray::number(1000.0 + i * 0.013, 'f', 6) +
                  "] Unable to handle kernel paging request at virtual address 0000dead\n";
    }
    report = report.left(bytes - timeLine.size());
    report[report.size() - 1] = '\n';
    report += timeLine;
    return writeFile(root + QLatin1String(PANIC_KERNEL_PARTITION), report, s_baseTime);
}

int listLength(PanicNode *head)
{
    int length = 0;
    for (PanicNode *node = head; node; node = node->next) {
        ++length;
    }
    return length;
}

// Times one reader call, in wall time and in this thread's CPU time (user and system; not that
// of a command the reader runs). The list is freed outside the timed part. Returns its length.
int timed(const std::function<void(PanicNode **)> &reader, qint64 *wallNs, qint64 *cpuNs)
{
    PanicNode *head = nullptr;
    const qint64 cpuStart = nowNs(CLOCK_THREAD_CPUTIME_ID);
    const qint64 start = nowNs(CLOCK_MONOTONIC);
    reader(&head);
    *wallNs = nowNs(CLOCK_MONOTONIC) - start;
    *cpuNs = nowNs(CLOCK_THREAD_CPUTIME_ID) - cpuStart;
    const int length = listLength(head);
    freePanicList(&head);
    return length;
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    int rounds = 25;
    int warmups = 3;
    QStringList only;
    const QStringList args = app.arguments();
    for (int i = 1; i < args.size(); ++i) {
        if (args.at(i) == QLatin1String("--rounds") && i + 1 < args.size()) {
            rounds = args.at(++i).toInt();
        } else if (args.at(i) == QLatin1String("--warmups") && i + 1 < args.size()) {
            warmups = args.at(++i).toInt();
        } else if (args.at(i) == QLatin1String("--only") && i + 1 < args.size()) {
            only = args.at(++i).split(QLatin1Char(','));
        } else {
            std::printf("error: usage: kivo-bench-panic [--rounds N] [--warmups N] "
                        "[--only CASE,...]\n");
            return 2;
        }
    }
    if (!std::freopen("/dev/null", "w", stderr)) {
        std::printf("error: cannot send stderr to /dev/null\n");
        return 1;
    }

    QTemporaryDir dir;
    if (!dir.isValid()) {
        std::printf("error: no temporary directory\n");
        return 1;
    }
    auto root = [&dir](const char *name) { return dir.path() + QLatin1Char('/') + name; };

    // Data, in the block formats: 64 data bytes a block (36 kept), doubled to 128.
    const bool written =
        writeBlockPair(root("bp128"), PANIC_BP_FILE_1, PANIC_BP_FILE_2, 43, 128, 64) &&
        writeBlockPair(root("bp255"), PANIC_BP_FILE_1, PANIC_BP_FILE_2, 43, 255, 64) &&
        writeBlockPair(root("bp255d"), PANIC_BP_FILE_1, PANIC_BP_FILE_2, 43, 255, 128) &&
        writeBlockPair(root("qu128"), PANIC_QUIRN_FILE_A, PANIC_QUIRN_FILE_B, 71, 128, 64) &&
        writeBlockPair(root("qu255"), PANIC_QUIRN_FILE_A, PANIC_QUIRN_FILE_B, 71, 255, 64) &&
        writeBlockPair(root("qu255d"), PANIC_QUIRN_FILE_A, PANIC_QUIRN_FILE_B, 71, 255, 128) &&
        writeApSource(root("ap128"), 128, 128) && writeApSource(root("ap255"), 255, 255) &&
        writeApSource(root("ap510"), 510, 510) && writeKernelReport(root("k1"), 1 << 20) &&
        writeKernelReport(root("k2"), 2 << 20);
    if (!written) {
        return 1;
    }

    auto bp = [](PanicNode **head) {
        uint8_t count = 0;
        readBpPanics(head, &count);
    };
    auto quirn = [](PanicNode **head) {
        uint8_t count = 0;
        readQuirnPanics(head, &count);
    };
    auto ap = [](PanicNode **head) {
        uint8_t count = 0;
        readApPanics(head, &count);
    };
    auto kernel = [](PanicNode **head) { readKernelPanic(head); };
    // The floor under the kernel capture: the same command through popen, its output read
    // whole, nothing parsed. Builds no list.
    auto kernelCommandOnly = [](PanicNode **) {
        const QByteArray command =
            "cat " + plShellQuoted(plRootedPath(PANIC_KERNEL_PARTITION)) + " 2>/dev/null";
        if (FILE *stream = popen(command.constData(), "r")) {
            char buffer[4096];
            while (std::fread(buffer, 1, sizeof buffer, stream) > 0) {
            }
            pclose(stream);
        }
    };

    struct BenchCase {
        const char *name;
        const char *root;
        std::function<void(PanicNode **)> reader;
        int records;
    };
    const QList<BenchCase> cases = {
        {"bp_128", "bp128", bp, 128},        {"bp_255", "bp255", bp, 255},
        {"bp_255_data2", "bp255d", bp, 255}, {"quirn_128", "qu128", quirn, 128},
        {"quirn_255", "qu255", quirn, 255},  {"quirn_255_data2", "qu255d", quirn, 255},
        {"ap_128", "ap128", ap, 128},        {"ap_255", "ap255", ap, 255},
        {"ap_510", "ap510", ap, 255},        {"kernel_1mib", "k1", kernel, 1},
        {"kernel_2mib", "k2", kernel, 1},    {"kernel_cat_1mib", "k1", kernelCommandOnly, 0},
    };

    for (int round = 0; round < warmups + rounds; ++round) {
        for (const BenchCase &bench : cases) {
            if (!only.isEmpty() && !only.contains(QLatin1String(bench.name))) {
                continue;
            }
            qputenv("KIVO_ROOT", QFile::encodeName(root(bench.root)));
            qint64 wallNs = 0;
            qint64 cpuNs = 0;
            const int records = timed(bench.reader, &wallNs, &cpuNs);
            if (records != bench.records) {
                std::printf("error: %s built %d records, not %d\n", bench.name, records,
                            bench.records);
                return 1;
            }
            if (round >= warmups) {
                std::printf("%s %lld\n%s_cpu %lld\n", bench.name, static_cast<long long>(wallNs),
                            bench.name, static_cast<long long>(cpuNs));
            }
        }
    }
    std::fflush(stdout);
    return 0;
}
