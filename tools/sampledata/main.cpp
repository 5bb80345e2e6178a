// kivo-sample-data: fills a KIVO_ROOT with panic sources of all four kinds, as a phone that has
// seen some crashes would hold them: BP and QUIRN panic blocks over both files of each pair,
// AP core dumps with their module table, and a kernel panic report.
#include <QByteArray>
#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStringList>

#include "KIVO_BigEndian.h"
#include "PlRoot.h"

#include <cstdio>
#include <cstdlib>

namespace {

using KIVO_BigEndian::be16;
using KIVO_BigEndian::be32;

const char *const s_usage =
    "Usage: kivo-sample-data [ROOT]\n"
    "\n"
    "Writes sample panic sources under ROOT (default: $KIVO_ROOT): the BP panic logs\n"
    "/veklocal/panic/bp_panic.log1 and .log2, the QUIRN panic blocks\n"
    "/veklocal/panic/qupanic_block.a and .b, core dumps in /veklocal/apr_app_dump with the\n"
    "module table /usr/data_resource/apr/coredump_table.cfg, and the kernel panic report\n"
    "/dev/mtdblock/kpanic. Existing files of these names are replaced; nothing else is\n"
    "touched. The root must be given: the tool never writes to the device's own paths.\n";

// The panics of the samples happened on 4 May 2024, from 05:20 UTC on.
constexpr quint32 s_base = 1714800000;

struct Panic {
    quint32 id;
    quint32 time; // seconds after s_base
    QByteArray version;
    QByteArray data;
};

// One block: magic, size, the eight-byte reserved field, id, time, version, filler up to the
// length field, the length, the data, padding to a four-byte boundary.
QByteArray block(const Panic &panic, int headerLength)
{
    QByteArray header = QByteArray::fromHex("b5c7") + be16(0) + QByteArray(8, '\0') +
                        be32(panic.id) + be32(s_base + panic.time) + panic.version.left(3);
    header += QByteArray(headerLength - 4 - header.size(), '\0');
    header += be32(quint32(panic.data.size()));
    QByteArray whole = header + panic.data;
    whole += QByteArray((4 - whole.size() % 4) % 4, '\0');
    const QByteArray size = be16(quint16(whole.size()));
    whole[2] = size[0];
    whole[3] = size[1];
    return whole;
}

QByteArray blocks(const QList<Panic> &panics, int headerLength)
{
    QByteArray file;
    for (const Panic &panic : panics) {
        file += block(panic, headerLength);
    }
    return file;
}

// A register dump as the baseband writes it after the assertion text: R0 to R15.
QByteArray registers(quint32 seed)
{
    QByteArray dump;
    for (quint32 i = 0; i < 16; ++i) {
        dump += be32(0x20001000u + seed * 0x100 + i * 0x2c);
    }
    return dump;
}

class Writer {
public:
    bool write(const QString &devicePath, const QByteArray &content, quint32 modified)
    {
        const QString path = plRootedPath(devicePath);
        QDir().mkpath(QFileInfo(path).absolutePath());
        QFile file(path);
        if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) ||
            file.write(content) != content.size()) {
            std::fprintf(stderr, "kivo-sample-data: cannot write %s: %s\n",
                         path.toLocal8Bit().constData(),
                         file.errorString().toLocal8Bit().constData());
            return false;
        }
        // Flushed first, so that no later write moves the time again.
        file.flush();
        file.setFileTime(QDateTime::fromSecsSinceEpoch(s_base + modified),
                         QFileDevice::FileModificationTime);
        std::printf("%s\n", devicePath.toLocal8Bit().constData());
        return true;
    }
};

QByteArray coreDump(const QByteArray &module, int size)
{
    // An ELF core file header (class 32, little-endian, type CORE, machine ARM) and zeros.
    QByteArray dump = QByteArray::fromHex("7f454c46010101000000000000000000") +
                      QByteArray::fromHex("04002800010000000000000034000000");
    dump += "CORE " + module;
    dump += QByteArray(size - dump.size(), '\0');
    return dump;
}

bool writeSamples(Writer &writer)
{
    const QByteArray bpVersion = QByteArray::fromHex("010200");
    const QByteArray bpVersionNew = QByteArray::fromHex("010301");
    // .log2 holds the older panics, so it is read first.
    const QList<Panic> bpOlder = {
        {0x1a2, 100, bpVersion, "l1_tdma.c:812 ASSERT(slot < 8)"},
        {0x2c4, 900, bpVersion, "dsp_if.c:233 DSP timeout" + QByteArray(1, '\0') + registers(1)},
    };
    const QList<Panic> bpNewer = {
        {0x1a2, 4000, bpVersionNew, "l1_tdma.c:812 ASSERT(slot < 8)"},
        {0x3f0, 5000, bpVersionNew, "rr_main.c:2231 unexpected state 7"},
        {0x105, 6900, bpVersionNew, QByteArray()},
    };
    const QByteArray quVersion = QByteArray::fromHex("020a01");
    const QList<Panic> quirnOlder = {
        {0x7001, 300, quVersion, "qu_sched.c:77 stack overflow in task RLC" + registers(2)},
    };
    const QList<Panic> quirnNewer = {
        {0x7003, 2600, quVersion, "qu_mem.c:402 pool 3 exhausted"},
        {0x7001, 6100, quVersion, "qu_sched.c:77 stack overflow in task MAC"},
    };

    const QByteArray table = "# AP core dump module table: <hex module id>=<module name>\n"
                             "# Modules missing here are reported with the id 82100.\n"
                             "1a=messaging\n"
                             "1b=browser\n"
                             "2c=phonebook\n"
                             "30=camera\n"
                             "31=gallery\n";

    const QByteArray kernel =
        "<1>[ 8123.441207] Unable to handle kernel NULL pointer dereference at virtual address "
        "00000008\n"
        "<1>[ 8123.441390] pgd = c0004000\n"
        "<1>[ 8123.441415] [00000008] *pgd=00000000\n"
        "<0>[ 8123.441502] Internal error: Oops: 17 [#1] PREEMPT\n"
        "<4>[ 8123.441633] Modules linked in: g_serial\n"
        "<4>[ 8123.441702] CPU: 0    Not tainted  (2.6.29 #1)\n"
        "<4>[ 8123.441888] PC is at mtd_blktrans_request+0x3c/0x98\n"
        "<4>[ 8123.442011] LR is at elv_next_request+0x120/0x134\n"
        "<4>[ 8123.442160] pc : [<c01b2f44>]    lr : [<c0162a38>]    psr: 20000093\n"
        "<0>[ 8123.443017] Kernel panic - not syncing: Fatal exception in interrupt\n"
        "Current Time = 2024-05-04 13:05:09\n"
        "Panic saved by kpanic, 2 oops in log\n";

    return writer.write(QStringLiteral("/veklocal/panic/bp_panic.log2"), blocks(bpOlder, 43),
                        1000) &&
           writer.write(QStringLiteral("/veklocal/panic/bp_panic.log1"), blocks(bpNewer, 43),
                        7000) &&
           writer.write(QStringLiteral("/veklocal/panic/qupanic_block.a"), blocks(quirnOlder, 71),
                        400) &&
           writer.write(QStringLiteral("/veklocal/panic/qupanic_block.b"), blocks(quirnNewer, 71),
                        6200) &&
           writer.write(QStringLiteral("/usr/data_resource/apr/coredump_table.cfg"), table, 0) &&
           writer.write(QStringLiteral("/veklocal/apr_app_dump/core.messaging.1234"),
                        coreDump("messaging", 8192), 1500) &&
           writer.write(QStringLiteral("/veklocal/apr_app_dump/core.browser.877"),
                        coreDump("browser", 16384), 2500) &&
           writer.write(QStringLiteral("/veklocal/apr_app_dump/core.mediaplayer.2301"),
                        coreDump("mediaplayer", 4096), 6000) &&
           writer.write(QStringLiteral("/dev/mtdblock/kpanic"), kernel, 7100);
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QStringList arguments = QCoreApplication::arguments().mid(1);
    if (arguments.contains(QStringLiteral("--help")) || arguments.contains(QStringLiteral("-h"))) {
        std::fputs(s_usage, stdout);
        return 0;
    }
    QString root = arguments.isEmpty() ? qEnvironmentVariable("KIVO_ROOT") : arguments.first();
    if (arguments.size() > 1 || root.isEmpty() || root.startsWith(QLatin1Char('-'))) {
        std::fprintf(stderr, "kivo-sample-data: give the root as argument or in KIVO_ROOT\n\n%s",
                     s_usage);
        return 2;
    }
    root = QDir::cleanPath(QDir(root).absolutePath());
    if (root == QLatin1String("/")) {
        std::fprintf(stderr, "kivo-sample-data: refusing to write to the device root /\n");
        return 2;
    }
    // Every device path is taken under the root, as the program takes it.
    qputenv("KIVO_ROOT", root.toLocal8Bit());
    Writer writer;
    return writeSamples(writer) ? 0 : 1;
}
