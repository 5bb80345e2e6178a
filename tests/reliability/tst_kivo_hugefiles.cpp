// Files no real phone has, which any user can make at no cost in disk: sparse 8 GiB settings
// files, flag file and module table. Each program reads only what a real file can hold, so its
// peak memory stays that of the same run on an ordinary file.
#include "KivoTestRoot.h"

#include <QDir>
#include <QFile>
#include <QtTest>

#include <fcntl.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>

extern char **environ;

namespace {

// Runs `program` to its end with its output on /dev/null; its peak resident memory in KiB, or
// -1 when it could not run or was killed by a signal.
long peakKiB(const QStringList &command)
{
    QList<QByteArray> bytes;
    std::vector<char *> argv;
    for (const QString &word : command) {
        bytes << QFile::encodeName(word);
    }
    for (QByteArray &word : bytes) {
        argv.push_back(word.data());
    }
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    pid_t pid = -1;
    const int spawned = posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (spawned != 0) {
        return -1;
    }
    int status = 0;
    struct rusage usage = {};
    while (wait4(pid, &status, 0, &usage) < 0 && errno == EINTR) {
    }
    return WIFEXITED(status) ? usage.ru_maxrss : -1;
}

} // namespace

class tst_KIVO_HugeFiles : public QObject {
    Q_OBJECT

private slots:
    void peakMemory_data();
    void peakMemory();

private:
    KivoTestRoot m_root;
};

void tst_KIVO_HugeFiles::peakMemory_data()
{
    QTest::addColumn<QString>("devicePath");
    QTest::addColumn<QByteArray>("content"); // the ordinary file, and the start of the huge one
    QTest::addColumn<QStringList>("command");

    const QStringList status{QStringLiteral(KIVO_STATUS_TOOL)};
    QTest::newRow("settings file, kivo-status")
        << KivoTestRoot::defaultIniPath() << QByteArray("[KIVO]\nkivo_mode=1\n") << status;
    QTest::newRow("/tmp/kivo, kivo-status")
        << QStringLiteral("/tmp/kivo") << QByteArray("[KIVO]\nCell%20Barring=1\n") << status;
    // Without flag 356 KIVO stops at once, after reading the whole flag file.
    QTest::newRow("flag file, kivo")
        << QStringLiteral("/etc/kivo/flexbits") << QByteArray("1=1\n") << QStringList{KIVO_BINARY};
    QTest::newRow("module table, kivo-panic bundle")
        << QStringLiteral("/usr/data_resource/apr/coredump_table.cfg")
        << QByteArray("1a=messaging\n")
        << QStringList{KIVO_PANIC_TOOL, QStringLiteral("--quiet"), QStringLiteral("bundle"),
                       QStringLiteral("--output"), m_root.path(QStringLiteral("/out"))};
}

void tst_KIVO_HugeFiles::peakMemory()
{
    QFETCH(QString, devicePath);
    QFETCH(QByteArray, content);
    QFETCH(QStringList, command);

    QVERIFY(QDir().mkpath(m_root.path(QStringLiteral("/out"))));
    m_root.writeFile(devicePath, content);
    const long ordinary = peakKiB(command);
    QVERIFY(ordinary > 0);
    QVERIFY(QFile::resize(m_root.path(devicePath), qint64(8) << 30));
    const long huge = peakKiB(command);
    m_root.remove(devicePath);
    QVERIFY2(huge > 0, "the run on the huge file did not end by itself");
    qDebug("peak %ld KiB, %ld KiB on the ordinary file", huge, ordinary);
    QVERIFY2(huge <= ordinary + 2048,
             qPrintable(QStringLiteral("%1 KiB against %2 KiB").arg(huge).arg(ordinary)));
}

QTEST_GUILESS_MAIN(tst_KIVO_HugeFiles)
#include "tst_kivo_hugefiles.moc"
