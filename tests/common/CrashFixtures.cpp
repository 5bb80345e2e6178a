#include "CrashFixtures.h"

#include "KivoTestRoot.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>

#include <cerrno>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>

namespace {

const char *const s_journalRemote = "/lib/systemd/systemd-journal-remote";
const QByteArray s_bootId = "0123456789abcdef0123456789abcdef";

// Writes `full` (a host path) with its folders, and sets its modification time.
bool writeAt(const QString &full, const QByteArray &content, qint64 modified)
{
    QDir().mkpath(QFileInfo(full).absolutePath());
    QFile file(full);
    return file.open(QIODevice::WriteOnly | QIODevice::Truncate) &&
           file.write(content) == content.size() && (file.close(), true) &&
           setModifiedTime(QFile::encodeName(full), modified);
}

QByteArray panicText()
{
    return "Panic#1 Part1\n"
           "<6>[    1.000000] Booting Linux on physical CPU 0x0\n"
           "<0>[    2.000000] Kernel panic - not syncing: Attempted to kill init!\n"
           "<4>[    2.000001] Call trace:\n"
           "<4>[    2.000002]  dump_backtrace+0x0/0x1e0\n";
}

QByteArray oopsText()
{
    return "Oops#1 Part1\n"
           "<1>[    2.999999] Unable to handle kernel paging request at 0000000000000008\n"
           "<0>[    3.000000] Internal error: Oops: 96000005 [#1] SMP\n"
           "<4>[ 3.000000] Call trace:\n"
           "<4>[ 3.000001]  qcom_q6v5_crash+0x10/0x20";
}

QByteArray coreName(const QByteArray &comm, int uid, int pid, qint64 usec)
{
    return "core." + comm + '.' + QByteArray::number(uid) + '.' + s_bootId + '.' +
           QByteArray::number(pid) + '.' + QByteArray::number(usec) + ".zst";
}

// One systemd-coredump journal entry in Journal Export Format.
QByteArray coredumpEntry(int cursor, qint64 usec, int pid, int uid, int signal,
                         const QByteArray &signalName, const QByteArray &comm,
                         const QByteArray &coreFile)
{
    return "__CURSOR=s=1;i=" + QByteArray::number(cursor) +
           "\n__REALTIME_TIMESTAMP=" + QByteArray::number(usec) +
           "\n__MONOTONIC_TIMESTAMP=" + QByteArray::number(cursor * 1000) +
           "\n_BOOT_ID=" + s_bootId +
           "\nMESSAGE_ID=fc2e22bc6ee647b6b90729ab34a250b1\nMESSAGE=Process " +
           QByteArray::number(pid) + " (" + comm +
           ") dumped core.\nCOREDUMP_PID=" + QByteArray::number(pid) +
           "\nCOREDUMP_UID=" + QByteArray::number(uid) +
           "\nCOREDUMP_GID=" + QByteArray::number(uid) +
           "\nCOREDUMP_SIGNAL=" + QByteArray::number(signal) +
           "\nCOREDUMP_SIGNAL_NAME=" + signalName + "\nCOREDUMP_COMM=" + comm +
           "\nCOREDUMP_EXE=/usr/bin/" + comm + "\nCOREDUMP_TIMESTAMP=" + QByteArray::number(usec) +
           "\nCOREDUMP_FILENAME=/var/lib/systemd/coredump/" + coreFile + "\n\n";
}

// A journal at `journalPath` (a host path ending in ".journal") with the given entries in
// Journal Export Format, made by systemd-journal-remote.
bool makeJournal(const QString &journalPath, const QByteArray &exportText, QString *skip)
{
    if (!QFileInfo::exists(QString::fromLatin1(s_journalRemote))) {
        *skip = QStringLiteral("systemd-journal-remote is not installed");
        return true;
    }
    QDir().mkpath(QFileInfo(journalPath).absolutePath());
    const QString exportPath = journalPath + QStringLiteral(".export");
    QFile exportFile(exportPath);
    if (!exportFile.open(QIODevice::WriteOnly) ||
        exportFile.write(exportText) != exportText.size()) {
        return false;
    }
    exportFile.close();
    QProcess remote;
    remote.start(QString::fromLatin1(s_journalRemote),
                 {QStringLiteral("--output=") + journalPath, QStringLiteral("--split-mode=none"),
                  exportPath});
    const bool done = remote.waitForFinished(60000);
    if (!done) {
        remote.kill();
        remote.waitForFinished(5000);
    }
    QFile::remove(exportPath);
    return done && remote.exitStatus() == QProcess::NormalExit && remote.exitCode() == 0;
}

const qint64 s_kivoCrash = 1714827909000000; // 13:05:09 UTC on 4 May 2024
const qint64 s_camdCrash = 1714830000000000;

QByteArray twoCrashes()
{
    return coredumpEntry(1, 1714820000000000, 311, 0, 6, "SIGABRT", "modemd",
                         coreName("modemd", 0, 311, 1714820000000000)) +
           "__CURSOR=s=1;i=2\n__REALTIME_TIMESTAMP=1714821000000000\n"
           "__MONOTONIC_TIMESTAMP=2000\n_BOOT_ID=" +
           s_bootId + "\nMESSAGE=an entry of another kind\n\n" +
           coredumpEntry(3, s_kivoCrash, 4242, 1000, 11, "SIGSEGV", "kivo",
                         coreName("kivo", 1000, 4242, s_kivoCrash));
}

// A core file of camd with its attributes, written as systemd-coredump leaves it.
bool camdCore(const QString &root, QString *skip)
{
    const QString path =
        "/var/lib/systemd/coredump/" + QString::fromLatin1(coreName("camd", 1001, 77, s_camdCrash));
    if (!writeAt(root + path, "core", s_camdCrash / 1000000)) {
        return false;
    }
    const QByteArray file = QFile::encodeName(root + path);
    const QList<QPair<const char *, QByteArray>> attributes = {
        {"user.coredump.pid", "77"},
        {"user.coredump.uid", "1001"},
        {"user.coredump.signal", "7"},
        {"user.coredump.comm", "camd"},
        {"user.coredump.exe", "/usr/bin/camd"},
        {"user.coredump.timestamp", QByteArray::number(s_camdCrash)}};
    for (const auto &attribute : attributes) {
        if (setxattr(file.constData(), attribute.first, attribute.second.constData(),
                     size_t(attribute.second.size()), 0) != 0) {
            if (errno == ENOTSUP) {
                *skip = QStringLiteral("no user attributes on this file system");
                return true;
            }
            return false;
        }
    }
    return true;
}

QByteArray elfHead()
{
    QByteArray data("\x7f\x45\x4c\x46\x01\x01", 6);
    for (int i = 0; i < 34; ++i) {
        data += char(i);
    }
    return data;
}

} // namespace

bool makeCrashFixture(const QString &root, const QString &fixture, QString *skip)
{
    const QString journal = root + QStringLiteral("/var/log/journal/remote.journal");
    const QString kivoCore = "/var/lib/systemd/coredump/" +
                             QString::fromLatin1(coreName("kivo", 1000, 4242, s_kivoCrash));
    if (fixture == QLatin1String("pstore two")) {
        return writeAt(root + "/sys/fs/pstore/dmesg-ramoops-0", panicText(), 1714820000) &&
               writeAt(root + "/var/lib/systemd/pstore/dmesg-efi-1", oopsText(), 1714827909) &&
               writeAt(root + "/sys/fs/pstore/console-ramoops-0", "console\n", 1714829000);
    }
    if (fixture == QLatin1String("pstore folder")) {
        const QString folder = QStringLiteral("/var/lib/systemd/pstore/1714827909001/");
        return writeAt(root + folder + "dmesg-efi-171482790900101", "part 1", 1714827909) &&
               writeAt(root + folder + "dmesg-efi-171482790900102", "part 2", 1714827909) &&
               writeAt(
                   root + folder + "dmesg.txt",
                   "Panic#1 Part1\n<0>[ 9.0] Kernel panic - not syncing: sysrq triggered crash\n",
                   1714827909);
    }
    if (fixture == QLatin1String("pstore compressed")) {
        return writeAt(root + "/sys/fs/pstore/dmesg-ramoops-0.enc.z", QByteArray(64, '\x9c'),
                       1714827909);
    }
    if (fixture == QLatin1String("pstore huge")) {
        const QByteArray filler = QByteArray(99, 'x') + '\n';
        QByteArray text = "Panic#1 Part1\n" + filler.repeated(3 * 1024 * 1024 / 100);
        text += "<0>[ 9.0] Kernel panic - not syncing: too far to read\n";
        return writeAt(root + "/sys/fs/pstore/dmesg-ramoops-0", text, 1714827909);
    }
    if (fixture == QLatin1String("pstore fifo")) {
        QDir().mkpath(root + "/sys/fs/pstore");
        return mkfifo(QFile::encodeName(root + "/sys/fs/pstore/dmesg-ramoops-0"), 0600) == 0;
    }
    if (fixture == QLatin1String("pstore link")) {
        QDir().mkpath(root + "/sys/fs/pstore");
        return writeAt(root + "/elsewhere/record", panicText(), 1714827909) &&
               QFile::link(root + "/elsewhere/record",
                           root + "/sys/fs/pstore/dmesg-ramoops-0");
    }
    if (fixture == QLatin1String("pstore folder link")) {
        QDir().mkpath(root + "/sys/fs");
        return writeAt(root + "/elsewhere/pstore/dmesg-ramoops-0", panicText(), 1714827909) &&
               QFile::link(root + "/elsewhere/pstore", root + "/sys/fs/pstore");
    }
    if (fixture == QLatin1String("journal")) {
        return makeJournal(journal, twoCrashes(), skip) &&
               writeAt(root + kivoCore, "core", 1714827909);
    }
    if (fixture == QLatin1String("journal plus core")) {
        return makeJournal(journal, twoCrashes(), skip) && skip->isEmpty() &&
               writeAt(root + kivoCore, "core", 1714827909) && camdCore(root, skip);
    }
    if (fixture == QLatin1String("xattr")) {
        return camdCore(root, skip);
    }
    if (fixture == QLatin1String("core name")) {
        return writeAt(root + "/var/lib/systemd/coredump/" +
                           QString::fromLatin1(coreName("cam.d", 1002, 78, 1714831000000000)),
                       "core", 1714831000);
    }
    if (fixture == QLatin1String("truncated journal")) {
        return makeJournal(journal, twoCrashes(), skip) && skip->isEmpty() &&
               QFile::resize(journal, 4096) && camdCore(root, skip);
    }
    if (fixture == QLatin1String("fifo journal")) {
        QDir().mkpath(root + "/var/log/journal");
        return mkfifo(QFile::encodeName(journal), 0600) == 0 && camdCore(root, skip);
    }
    if (fixture == QLatin1String("journal link")) {
        QDir().mkpath(root + "/var/log");
        return makeJournal(root + "/elsewhere/journal/remote.journal", twoCrashes(), skip) &&
               QFile::link(root + "/elsewhere/journal", root + "/var/log/journal");
    }
    if (fixture == QLatin1String("devcd two")) {
        const QString dir = QStringLiteral("/var/lib/kivo/devcoredump/");
        // The file times run the other way: the collector's notes give the order.
        return writeAt(root + dir + "devcd-1714827909-devcd1.data", elfHead(), 1714800000) &&
               writeAt(root + dir + "devcd-1714827909-devcd1.info",
                       "device=4080000.remoteproc\ntime=1714827909\nsize=40\ntruncated=0\n",
                       1714800000) &&
               writeAt(root + dir + "devcd-1714820000-devcd0.data", "wlan", 1714829999) &&
               writeAt(root + dir + "devcd-1714820000-devcd0.info",
                       "device=wlan0\ntime=1714820000\n", 1714829999);
    }
    if (fixture == QLatin1String("devcd bare")) {
        return writeAt(root + "/var/lib/kivo/devcoredump/devcd-1-devcd0.data", "abc", 1714827909);
    }
    if (fixture == QLatin1String("devcd hostile")) {
        const QString dir = root + "/var/lib/kivo/devcoredump/";
        QDir().mkpath(dir);
        return mkfifo(QFile::encodeName(dir + "devcd-1-devcd0.data"), 0600) == 0 &&
               writeAt(root + "/elsewhere/dump", elfHead(), 1714827909) &&
               QFile::link(root + "/elsewhere/dump", dir + "devcd-2-devcd1.data");
    }
    return false;
}
