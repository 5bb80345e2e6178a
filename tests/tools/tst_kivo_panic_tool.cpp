#include "CrashFixtures.h"
#include "KivoTestRoot.h"
#include "ToolRun.h"

#include <QDateTime>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QMap>
#include <QScopeGuard>
#include <QTemporaryDir>
#include <QtTest>

#include <csignal>
#include <fcntl.h>
#include <memory>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// Fixtures laid out by hand from the block formats (big-endian fields).
// bp_panic.log1: three BP blocks. 1: id 10, 10:53:20 UTC, version 01 01, data aa bb, size 48;
// 2: id 20, 12:00:00, version 01 02, five data bytes, size 48; 3: the worked example, id 1a2,
// 13:05:09 on 4 May 2024, version 01 02 03, eight data bytes, size 52.
const QByteArray s_bpLog1 = QByteArray::fromHex(
    "b5c7 0030 0000000000000000 00000010 663613a0 010100 00000000000000000000000000000000"
    "00000002 aabb 000000"
    "b5c7 0030 0000000000000000 00000020 66362340 010200 00000000000000000000000000000000"
    "00000005 1020304050"
    "b5c7 0034 0000000000000000 000001a2 66363285 010203 00000000000000000000000000000000"
    "00000008 0011223344556677 00");
// qupanic_block.a: one QUIRN block with the magic 0A 0B, id 7001, 12:16:40, version 02 0a 01,
// no data, size 72.
const QByteArray s_quirnA =
    QByteArray::fromHex("0a0b 0048 0000000000000000 00007001 66362728 020a01") +
    QByteArray(44, '\0') + QByteArray::fromHex("00000000 00");
const QByteArray s_moduleTable = "# module table\n1a=messaging\n";
const QByteArray s_kernelReport = "<0>[ 812.3] Kernel panic - not syncing: Fatal exception\n"
                                  "Current Time = 2024-05-04 13:05:09\n";
// Times past the end of a 32-bit time_t (03:14:07 UTC on 19 January 2038), as older phones
// have it. bp_panic.log1: one BP block, id b1, 0xf0000000 = 09:04:00 on 5 August 2097, version
// 01 02 03, data cc dd, size 48. qupanic_block.a: one QUIRN block, id 7002, 0x80000000 =
// 03:14:08 on 19 January 2038, version 02 0a 01, no data, size 72.
const QByteArray s_bpLog1Late = QByteArray::fromHex(
    "b5c7 0030 0000000000000000 000000b1 f0000000 010203 00000000000000000000000000000000"
    "00000002 ccdd 000000");
const QByteArray s_quirnALate =
    QByteArray::fromHex("b5c7 0048 0000000000000000 00007002 80000000 020a01") +
    QByteArray(44, '\0') + QByteArray::fromHex("00000000 00");
const QByteArray s_kernelReportLate = "Current Time = 2040-02-29 12:00:00\n";
const qint64 s_lateStamp = 2214129600; // 2040-02-29 12:00:00 UTC, the kernel report's time
const QByteArray s_settings = "[KIVO]\nCell Sticker State=1\n";
const QByteArray s_volatile = "[KIVO]\nCell Barring=2\n";

ToolRun runPanic(const QStringList &arguments, const QString &root,
                 const QString &workingDir = QString())
{
    return runTool(QStringLiteral(KIVO_PANIC_TOOL), arguments, {"KIVO_ROOT=" + root, "TZ=UTC"},
                   workingDir);
}

// Every file under a directory by its relative path, with its content (and time).
QMap<QString, QByteArray> readTree(const QString &dir, bool withTimes = false)
{
    QMap<QString, QByteArray> files;
    QDirIterator it(dir, QDir::Files | QDir::Hidden | QDir::System, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        QFile file(it.next());
        file.open(QIODevice::ReadOnly);
        const qint64 time = it.fileInfo().lastModified().toMSecsSinceEpoch();
        files.insert(QDir(dir).relativeFilePath(file.fileName()),
                     file.readAll() + (withTimes ? ' ' + QByteArray::number(time) : QByteArray()));
    }
    return files;
}

// Writes `path` by its bytes (QFile cannot name a file whose name is not UTF-8), with its
// folders, and sets its modification time.
bool writeRaw(const QByteArray &path, const QByteArray &content, qint64 mtime)
{
    QDir().mkpath(QFileInfo(QFile::decodeName(path)).path());
    const int fd = ::open(path.constData(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    const bool written =
        fd >= 0 && ::write(fd, content.constData(), size_t(content.size())) == content.size();
    return ::close(fd) == 0 && written && setModifiedTime(path, mtime);
}

// Unpacks the bundle whose path `run` printed into `dir` and checks it as an engineer does,
// with sha256sum against its manifest. What went wrong, or empty; `*top` is its top directory.
QString unpackBundle(const ToolRun &run, const QString &dir, QString *top)
{
    const QString archive = QString::fromUtf8(run.out.trimmed());
    *top = QDir(dir).filePath(QFileInfo(archive).fileName().chopped(7));
    const ToolRun tar = runTool("tar", {"-xzmf", archive, "-C", dir});
    const ToolRun sums = runTool("sha256sum", {"--strict", "-c", "MANIFEST.sha256"}, {}, *top);
    return run.exitCode != 0 || tar.exitCode != 0 || sums.exitCode != 0
               ? QString::fromUtf8(run.err + tar.err + sums.out + sums.err)
               : QString();
}

// "source number time" of each panic of a JSON answer.
QJsonArray panicOrder(const QJsonDocument &answer)
{
    QJsonArray order;
    for (const QJsonValue &panic : answer.object().value("panics").toArray()) {
        order << panic["source"].toString() + ' ' + QString::number(panic["number"].toInt()) + ' ' +
                     panic["time"].toString();
    }
    return order;
}

} // namespace

class tst_KIVO_PanicTool : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void run_data();
    void run();
    void bundle_data();
    void bundle();
    void lateBundle();
    void hostileBundle();
    void interruptedBundle();
    void sampleData();
    void hostileRoot_data();
    void hostileRoot();
    void failedWrites_data();
    void failedWrites();
    void crashBundle();

private:
    std::unique_ptr<KivoTestRoot> m_root;
    QTemporaryDir m_emptyRoot;
    QString m_crashSkip; // why the rows on the crash root skip, empty when they run
};

void tst_KIVO_PanicTool::initTestCase()
{
    m_root = std::make_unique<KivoTestRoot>();
    QVERIFY(m_root->isValid());
    QVERIFY(m_emptyRoot.isValid());
    const auto write = [this](const QString &devicePath, const QByteArray &content, qint64 mtime) {
        m_root->writeFile(devicePath, content);
        QVERIFY(setModifiedTime(QFile::encodeName(m_root->path(devicePath)), mtime));
    };
    write(QStringLiteral("/veklocal/panic/bp_panic.log1"), s_bpLog1, 1714828000);
    write(QStringLiteral("/veklocal/panic/qupanic_block.a"), s_quirnA, 1714828000);
    write(QStringLiteral("/usr/data_resource/apr/coredump_table.cfg"), s_moduleTable, 1714800000);
    write(QStringLiteral("/veklocal/apr_app_dump/core.messaging.17"), "ELF messaging", 1714821000);
    write(QStringLiteral("/veklocal/apr_app_dump/core.dump"), "ELF ?", 1714822000);
    write(QStringLiteral("/veklocal/apr_app_dump/core.browser.3"), "ELF browser", 1714823000);
    write(QStringLiteral("/dev/mtdblock/kpanic"), s_kernelReport, 1714828000);
    write(KivoTestRoot::defaultIniPath(), s_settings, 1714800000);
    write(QStringLiteral("/tmp/kivo"), s_volatile, 1714800000);
    // The root of late times lies in a directory of the main one that no reader looks at.
    // Its files are stamped after January 2038 too, past a 32-bit stat().
    write(QStringLiteral("/late/veklocal/panic/bp_panic.log1"), s_bpLog1Late, s_lateStamp);
    write(QStringLiteral("/late/veklocal/apr_app_dump/core.late.1"), "ELF late", s_lateStamp + 1);
    write(QStringLiteral("/late/veklocal/panic/qupanic_block.a"), s_quirnALate, 0);
    write(QStringLiteral("/late/dev/mtdblock/kpanic"), s_kernelReportLate, 0);
    // The crash records of a mainline Linux, in a root of their own: pstore records, two crashes
    // in the journal, two devcoredump dumps.
    for (const char *fixture : {"pstore two", "journal", "devcd two"}) {
        QVERIFY(makeCrashFixture(m_root->path("/crashes"), QLatin1String(fixture), &m_crashSkip));
    }
}

void tst_KIVO_PanicTool::run_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QString>("root");
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QByteArray>("out"); // with --json: the JSON, or the panicOrder() of it

    // The arguments apart by blanks; "empty: " runs them on a root without panics, "late: " on
    // the root of times past the end of a 32-bit time_t, "crashes: " on the crash records root.
    const auto row = [this](const char *name, const char *arguments, int exitCode,
                            const QByteArray &out) {
        QString line = QString::fromLatin1(arguments);
        const QString root = line.startsWith("empty: ")    ? m_emptyRoot.path()
                             : line.startsWith("late: ")    ? m_root->path("/late")
                             : line.startsWith("crashes: ") ? m_root->path("/crashes")
                                                            : m_root->root();
        QTest::newRow(name)
            << line.remove(QRegularExpression("^(empty|late|crashes): "))
                   .split(' ', Qt::SkipEmptyParts)
            << root << exitCode << out;
    };
    row("list bp", "list bp", 0, "3 1a2 01.02\n2 20 01.02\n1 10 01.01\n");
    row("list bp, no panics", "empty: list bp", 0, "No Panics to display\n");
    row("show bp 3: the nine lines", "show bp 3", 0,
        "Panic Num: 3\nPanic Ver: 01:02\nPanic Id: 1a2\nTimestamp 13:5:9\n4-5-2024\nLength 8\n"
        "Panic Data\n00 11 22 33 44 55 \n66 77 \n");
    row("show ap 2: the dropped dump", "show ap 2", 1, "");
    row("show bp 4: above the count", "show bp 4", 1, "");
    row("timeline", "timeline", 0,
        "2024-05-04 10:53:20  bp      1 10 01.01\n"
        "2024-05-04 11:10:00  ap       1  1a \n"
        "2024-05-04 11:43:20  ap       3  82100 \n"
        "2024-05-04 12:00:00  bp      2 20 01.02\n"
        "2024-05-04 12:16:40  quirn   1 7001 02.0a\n"
        "2024-05-04 13:05:09  bp      3 1a2 01.02\n"
        "2024-05-04 13:05:09  kernel   82000 \n");
    row("timeline, no panics", "empty: timeline", 0, "No Panics to display\n");

    row("late: json: list bp, 2097", "late: --json list bp", 0, R"({
        "source": "bp", "count": 1, "panics": [
        {"source": "bp", "number": 1, "id": 177, "idHex": "b1", "timestamp": 4026531840,
         "time": "2097-08-05T09:04:00Z", "version": "01.02.03", "length": 2, "data": "ccdd",
         "row": "1 b1 01.02"}]})");
    row("json: list ap, count above the records", "list ap --json", 0, R"({
        "source": "ap", "count": 3, "panics": [
        {"source": "ap", "number": 3, "id": 532736, "idHex": "82100", "module": "browser",
         "nameLength": 7, "file": "core.browser.3", "timestamp": 1714823000,
         "time": "2024-05-04T11:43:20Z", "row": " 3  82100 "},
        {"source": "ap", "number": 1, "id": 26, "idHex": "1a", "module": "messaging",
         "nameLength": 9, "file": "core.messaging.17", "timestamp": 1714821000,
         "time": "2024-05-04T11:10:00Z", "row": " 1  1a "}]})");

    // The same texts on every architecture, 32-bit time_t included.
    row("late: show bp 1, 2097", "late: show bp 1", 0,
        "Panic Num: 1\nPanic Ver: 01:02\nPanic Id: b1\nTimestamp 9:4:0\n5-8-2097\nLength 2\n"
        "Panic Data\ncc dd \n");
    row("late: json: show kernel 1, 2040", "late: --json show kernel 1", 0, R"(
        {"source": "kernel", "number": 1, "id": 532480, "idHex": "82000",
         "timestamp": 2214129600, "time": "2040-02-29T12:00:00Z", "row": " 82000 ",
         "detail": "Timestamp 12:0:0 \n 29-2-2040"})");
    row("late: json: timeline in time order", "late: --json timeline", 0, R"([
        "quirn 1 2038-01-19T03:14:08Z", "kernel 1 2040-02-29T12:00:00Z",
        "ap 1 2040-02-29T12:00:01Z", "bp 1 2097-08-05T09:04:00Z"])");

    // The crash sources' own words, and their place in the timeline.
    row("crashes: show coredump 2", "crashes: show coredump 2", 0,
        "Crash Num: 2\nProgram: kivo\nExecutable: /usr/bin/kivo\nPID: 4242 UID: 1000\n"
        "Signal: 11 SIGSEGV\nTimestamp 13:5:9 \n 4-5-2024\nCore: present\n "
        "core.kivo.1000.0123456789abcdef0123456789abcdef.4242.1714827909000000.zst\nFrom: journal\n");
    row("crashes: timeline", "crashes: timeline", 0,
        "2024-05-04 10:53:20  pstore  1 Panic dmesg-ramoops-0\n"
        "2024-05-04 10:53:20  coredump   1  modemd SIGABRT\n"
        "2024-05-04 10:53:20  devcd   1 wlan0\n"
        "2024-05-04 13:05:09  pstore  2 Oops dmesg-efi-1\n"
        "2024-05-04 13:05:09  coredump   2  kivo SIGSEGV\n"
        "2024-05-04 13:05:09  devcd   2 4080000.remoteproc\n");

    row("usage: no command", "", 2, "");
    row("usage: unknown command", "erase", 2, "");
    row("usage: list without source", "list", 2, "");
    row("usage: unknown source", "list dsp", 2, "");
    row("usage: show 0", "show bp 0", 2, "");
    row("usage: unknown option", "--verbose timeline", 2, "");
    row("usage: --output without a directory", "bundle --output", 2, "");
    row("usage: --output for list", "list bp --output x", 2, "");
    row("usage: bundle --json", "--json bundle", 2, "");
}

// Standard output holds only the texts; the readers' traces go to stderr unless --quiet.
void tst_KIVO_PanicTool::run()
{
    QFETCH(QStringList, arguments);
    QFETCH(QString, root);
    QFETCH(int, exitCode);
    QFETCH(QByteArray, out);
    if (root == m_root->path("/crashes") && !m_crashSkip.isEmpty()) {
        QSKIP(qPrintable(m_crashSkip));
    }

    QTemporaryDir cwd;
    for (const bool quiet : {false, true}) {
        const ToolRun result =
            runPanic(quiet ? QStringList{"--quiet"} + arguments : arguments, root, cwd.path());
        QCOMPARE(result.exitCode, exitCode);
        if (arguments.contains("--json") && exitCode == 0) {
            const QJsonDocument made = QJsonDocument::fromJson(result.out);
            const QJsonDocument expected = QJsonDocument::fromJson(out);
            QVERIFY(!expected.isNull());
            QCOMPARE(expected.isArray() ? QJsonDocument(panicOrder(made)) : made, expected);
        } else {
            QCOMPARE(result.out, out);
        }
        if (exitCode == 2) {
            QVERIFY2(result.err.startsWith("kivo-panic: "), result.err);
            QVERIFY(result.err.contains("\nUsage: kivo-panic "));
        } else if (quiet) {
            QVERIFY2(exitCode == 0 ? result.err.isEmpty()
                                   : result.err.startsWith("kivo-panic: no panic "),
                     result.err);
        } else if (!arguments.contains("coredump")) {
            // Without --quiet the seed's readers trace (a missing file too); the journal reader
            // only what goes wrong.
            QVERIFY(!result.err.isEmpty());
        }
    }
    // Only a bundle writes a file, and a refused one writes none.
    QVERIFY(QDir(cwd.path()).isEmpty());
}

void tst_KIVO_PanicTool::bundle_data()
{
    QTest::addColumn<QStringList>("options");
    QTest::addColumn<bool>("dumpsIncluded");

    QTest::newRow("names of the dumps") << QStringList{"--output"} << false;
    QTest::newRow("with the dumps") << QStringList{"--with-dumps", "--output"} << true;
}

void tst_KIVO_PanicTool::bundle()
{
    QFETCH(QStringList, options);
    QFETCH(bool, dumpsIncluded);

    QTemporaryDir output;
    const QMap<QString, QByteArray> before = readTree(m_root->root(), true);
    const ToolRun result = runPanic(
        QStringList{"--quiet", "bundle"} + options + QStringList{output.path()}, m_root->root());
    QCOMPARE(readTree(m_root->root(), true), before);

    // The one file written, named for the time of writing, is the path printed; it unpacks into
    // one top directory named like it, with a manifest that names every other member.
    const QString name = QFileInfo(QString::fromUtf8(result.out.trimmed())).fileName();
    const QRegularExpression pattern(
        QStringLiteral("^kivo-panic-bundle-\\d{8}-\\d{6}Z\\.tar\\.gz$"));
    QVERIFY2(pattern.match(name).hasMatch(), result.out);
    QCOMPARE(QDir(output.path()).entryList(QDir::Files), QStringList(name));
    QCOMPARE(result.out, (QDir(output.path()).filePath(name) + '\n').toUtf8());
    QTemporaryDir unpacked;
    QString top;
    const QString failure = unpackBundle(result, unpacked.path(), &top);
    QVERIFY2(failure.isEmpty(), qPrintable(failure));
    QCOMPARE(QDir(unpacked.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot),
             QStringList(name.chopped(7)));
    QMap<QString, QByteArray> files = readTree(top);
    QStringList listed;
    for (const QByteArray &line : files.take("MANIFEST.sha256").split('\n')) {
        if (!line.isEmpty()) {
            listed << QString::fromUtf8(line.mid(66));
        }
    }
    listed.sort();
    QCOMPARE(listed, files.keys());

    // The raw sources and the settings files as they are on the phone; the dumps only on demand.
    QCOMPARE(files.value("files/veklocal/panic/bp_panic.log1"), s_bpLog1);
    QCOMPARE(files.value("files/veklocal/panic/qupanic_block.a"), s_quirnA);
    QVERIFY(!files.contains("files/veklocal/panic/bp_panic.log2"));
    QCOMPARE(files.value("files/usr/data_resource/apr/coredump_table.cfg"), s_moduleTable);
    QCOMPARE(files.value("files/vek_user/download/appwrite/kivo/kivo.ini"), s_settings);
    QCOMPARE(files.value("files/tmp/kivo"), s_volatile);
    QCOMPARE(files.value("kernel/kpanic.txt"), s_kernelReport);
    QCOMPARE(files.value("dumps/core.dump"), dumpsIncluded ? QByteArray("ELF ?") : QByteArray());
    QCOMPARE(files.value("dumps/core.browser.3"),
             dumpsIncluded ? QByteArray("ELF browser") : QByteArray());

    QStringList dumpNames;
    for (const QJsonValue &entry :
         QJsonDocument::fromJson(files.value("dumps.json"))["entries"].toArray()) {
        dumpNames << entry["name"].toString() + ' ' +
                         QString::number(entry["modified"].toInteger());
    }
    QCOMPARE(dumpNames, (QStringList{"core.browser.3 1714823000", "core.dump 1714822000",
                                     "core.messaging.17 1714821000"}));

    // The records in the list --json form, each with its detail text.
    const QJsonDocument records = QJsonDocument::fromJson(files.value("records.json"));
    QCOMPARE(records["bp"]["count"].toInt(), 3);
    QCOMPARE(records["bp"]["panics"][0]["detail"].toString(),
             QStringLiteral("Panic Num: 3\nPanic Ver: 01:02\nPanic Id: 1a2\nTimestamp 13:5:9\n"
                            "4-5-2024\nLength 8\nPanic Data\n00 11 22 33 44 55 \n66 77 "));
    QCOMPARE(records["ap"]["panics"].toArray().size(), 2);
    QCOMPARE(records["quirn"]["panics"].toArray().size(), 1);
    QCOMPARE(records["kernel"]["panics"][0]["timestamp"].toInteger(), 1714827909);
}

// Files stamped after January 2038 go into the bundle, with their true times in dumps.json.
void tst_KIVO_PanicTool::lateBundle()
{
    QTemporaryDir output;
    QTemporaryDir unpacked;
    const ToolRun result = runPanic(
        {"--quiet", "bundle", "--with-dumps", "--output", output.path()}, m_root->path("/late"));
    QString top;
    const QString failure = unpackBundle(result, unpacked.path(), &top);
    QVERIFY2(failure.isEmpty(), qPrintable(failure));
    const QMap<QString, QByteArray> files = readTree(top);
    QCOMPARE(files.value("files/veklocal/panic/bp_panic.log1"), s_bpLog1Late);
    QCOMPARE(files.value("dumps/core.late.1"), QByteArray("ELF late"));
    const QJsonValue dump = QJsonDocument::fromJson(files.value("dumps.json"))["entries"][0];
    QCOMPARE(dump["modified"].toInteger(), s_lateStamp + 1);
    QCOMPARE(dump["time"].toString(), QStringLiteral("2040-02-29T12:00:01Z"));
}

// A root where another user had a hand: a link planted in the world-writable /tmp leading to a
// root-only file, and dump names that are not UTF-8. The link is not followed, the archive is
// its owner's alone, and the dumps come out under their own bytes, every sum checked.
void tst_KIVO_PanicTool::hostileBundle()
{
    const QString root = m_root->path("/hostile");
    const QByteArray dumpDir = QFile::encodeName(root + "/veklocal/apr_app_dump");
    QVERIFY(QDir().mkpath(root + "/tmp") && QDir().mkpath(QFile::decodeName(dumpDir)));
    QVERIFY(::chmod(QFile::encodeName(root + "/tmp").constData(), 01777) == 0);
    m_root->writeFile("/hostile/secret", "root only");
    QVERIFY(QFile::setPermissions(root + "/secret", QFile::ReadOwner | QFile::WriteOwner));
    QVERIFY(QFile::link(root + "/secret", root + "/tmp/kivo"));
    // Written and read by their bytes: QFile would turn both names into the same one.
    const QList<QByteArray> names{"core.\xff.3", "core.\xfe.3"};
    for (const QByteArray &name : names) {
        QVERIFY(writeRaw(dumpDir + '/' + name, "ELF " + name.toHex(), 1714821000));
    }

    QTemporaryDir output;
    QTemporaryDir unpacked;
    const ToolRun result =
        runPanic({"--quiet", "bundle", "--with-dumps", "--output", output.path()}, root);
    QCOMPARE(QFileInfo(QString::fromUtf8(result.out.trimmed())).permissions() & 0x7777,
             QFile::ReadOwner | QFile::WriteOwner | QFile::ReadUser | QFile::WriteUser);
    QString top;
    const QString failure = unpackBundle(result, unpacked.path(), &top);
    QVERIFY2(failure.isEmpty(), qPrintable(failure));
    for (const QByteArray &name : names) {
        char content[64] = {};
        const int fd = ::open(QFile::encodeName(top + "/dumps/") + name, O_RDONLY);
        QVERIFY2(fd >= 0, name.toHex().constData());
        const ssize_t got = ::read(fd, content, sizeof content);
        ::close(fd);
        QCOMPARE(QByteArray(content, int(std::max<ssize_t>(got, 0))), "ELF " + name.toHex());
    }
    QVERIFY(!QFileInfo::exists(top + "/files/tmp/kivo"));
    const QJsonDocument about = QJsonDocument::fromJson(readTree(top)["bundle.json"]);
    QVERIFY(about["missing"].toArray().contains(QJsonValue("/tmp/kivo")));
}

// A bundle ended by SIGTERM while it writes leaves nothing in the output directory.
void tst_KIVO_PanicTool::interruptedBundle()
{
    const QString root = m_root->path("/slow");
    // Two sparse 1 GiB dumps: seconds of compression, at no cost in disk.
    for (const QString &name : {QStringLiteral("core.big.1"), QStringLiteral("core.big.2")}) {
        m_root->writeFile("/slow/veklocal/apr_app_dump/" + name, "ELF");
        QVERIFY(QFile::resize(root + "/veklocal/apr_app_dump/" + name, qint64(1) << 30));
    }
    QTemporaryDir output;
    const QDir outputDir(output.path());
    const auto entries = [&outputDir] {
        return outputDir.entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot);
    };
    QProcess bundle;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert("KIVO_ROOT", root);
    bundle.setProcessEnvironment(environment);
    bundle.start(KIVO_PANIC_TOOL, {"--quiet", "bundle", "--with-dumps", "--output", output.path()});
    QVERIFY(bundle.waitForStarted());
    QTRY_VERIFY_WITH_TIMEOUT(!entries().isEmpty(), 30000);
    QCOMPARE(bundle.state(), QProcess::Running);
    ::kill(pid_t(bundle.processId()), SIGTERM);
    QVERIFY(bundle.waitForFinished(30000));
    QCOMPARE(bundle.exitStatus(), QProcess::CrashExit);
    QCOMPARE(entries(), QStringList());
}

// The sample data fills a root that the tool reads back in full.
void tst_KIVO_PanicTool::sampleData()
{
    QTemporaryDir root;
    const QString phone = root.path() + "/phone";
    QCOMPARE(runTool(QStringLiteral(KIVO_SAMPLE_DATA_TOOL), {phone}, {"KIVO_ROOT="}).exitCode, 0);
    QMap<QString, int> counts;
    const ToolRun timeline = runPanic({"--quiet", "--json", "timeline"}, phone);
    for (const QJsonValue &panic : QJsonDocument::fromJson(timeline.out)["panics"].toArray()) {
        ++counts[panic["source"].toString()];
    }
    QCOMPARE(counts, (QMap<QString, int>{{"bp", 5}, {"quirn", 3}, {"ap", 3}, {"kernel", 1}}));
    // The older file of each pair is read first, so its blocks are number 1 and 2.
    const ToolRun bp = runPanic({"--quiet", "list", "bp"}, phone);
    QVERIFY2(bp.out.endsWith("2 2c4 01.02\n1 1a2 01.02\n"), bp.out);

    const ToolRun refused = runTool(QStringLiteral(KIVO_SAMPLE_DATA_TOOL), {}, {"KIVO_ROOT="});
    QCOMPARE(refused.exitCode, 2);
    QVERIFY(refused.err.contains("Usage: kivo-sample-data"));
}

void tst_KIVO_PanicTool::hostileRoot_data()
{
    QTest::addColumn<QStringList>("specials"); // FIFOs without writer, by their device paths
    QTest::addColumn<QString>("root");         // the KIVO_ROOT given, relative to the work dir
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QByteArray>("out"); // with --json: the JSON

    const QString root = QStringLiteral("root");
    // The bundle opens its raw sources itself: FIFOs read as missing files, and the tool ends.
    // (Listing goes through the readers, whose FIFO rows are in tst_kivo_panic_util.)
    QTest::newRow("bundle of fifos")
        << QStringList{"/veklocal/panic/bp_panic.log1", "/usr/data_resource/apr/coredump_table.cfg",
                       "/dev/mtdblock/kpanic", "/tmp/kivo"}
        << root << QStringList{"bundle", "--output", "."} << QByteArray();
    // A relative root that looks like an option: every source, the kernel report too.
    QTest::newRow("relative root -n")
        << QStringList() << QStringLiteral("-n") << QStringList{"timeline"}
        << QByteArray("2024-05-04 10:53:20  bp      1 10 01.01\n"
                      "2024-05-04 11:10:00  ap       1  1a \n"
                      "2024-05-04 11:15:00  ap       2  82100 \n"
                      "2024-05-04 12:00:00  bp      2 20 01.02\n"
                      "2024-05-04 13:05:09  bp      3 1a2 01.02\n"
                      "2024-05-04 13:05:09  kernel   82000 \n");
    // A name that is not UTF-8 keeps its bytes in the JSON.
    QTest::newRow("name not UTF-8") << QStringList() << root << QStringList{"--json", "list", "ap"}
                                    << QByteArray(R"({"source": "ap", "count": 2, "panics": [
        {"source": "ap", "number": 2, "id": 532736, "idHex": "82100", "module": "\\xff\\\\\\xfe",
         "moduleHex": "ff5cfe", "nameLength": 3, "file": "core.\\xff\\\\\\xfe.3",
         "fileHex": "636f72652eff5cfe2e33", "timestamp": 1714821300,
         "time": "2024-05-04T11:15:00Z", "row": " 2  82100 "},
        {"source": "ap", "number": 1, "id": 26, "idHex": "1a", "module": "messaging",
         "nameLength": 9, "file": "core.messaging.17", "timestamp": 1714821000,
         "time": "2024-05-04T11:10:00Z", "row": " 1  1a "}]})");
}

// A root of hostile files, each row on a root of its own: a BP log, a module table, two dumps
// (one named with bytes that are not UTF-8) and a kernel report, with FIFOs in place of some.
void tst_KIVO_PanicTool::hostileRoot()
{
    QFETCH(QStringList, specials);
    QFETCH(QString, root);
    QFETCH(QStringList, arguments);
    QFETCH(QByteArray, out);

    QTemporaryDir work;
    const QString top = work.filePath(root);
    // Qt cannot name the file whose name is not UTF-8, so it cannot remove it either.
    const auto cleanUp = qScopeGuard([&] { runTool("rm", {"-rf", work.path()}); });
    const QByteArray raw = QFile::encodeName(top);
    QVERIFY(writeRaw(raw + "/veklocal/panic/bp_panic.log2", s_bpLog1, 1714828000));
    QVERIFY(writeRaw(raw + "/usr/data_resource/apr/coredump_table.cfg", s_moduleTable, 1714800000));
    QVERIFY(writeRaw(raw + "/veklocal/apr_app_dump/core.messaging.17", "ELF", 1714821000));
    // A backslash beside the stray bytes: escaped alone, it would read as one more escape.
    QVERIFY(writeRaw(raw + "/veklocal/apr_app_dump/core.\xff\\\xfe.3", "ELF", 1714821300));
    QVERIFY(writeRaw(raw + "/dev/mtdblock/kpanic", s_kernelReport, 1714828000));
    for (const QString &special : specials) {
        const QString path = top + special;
        QVERIFY(QDir().mkpath(QFileInfo(path).path()));
        QFile::remove(path);
        QCOMPARE(mkfifo(QFile::encodeName(path).constData(), 0600), 0);
    }

    // On the old readers these runs hang or fill the memory: the time-out ends them.
    const ToolRun result =
        runTool(QStringLiteral(KIVO_PANIC_TOOL), QStringList{"--quiet"} + arguments,
                {"KIVO_ROOT=" + root, "TZ=UTC"}, work.path(), 20000);
    QVERIFY2(result.exitCode == 0, result.err);
    if (arguments.contains("bundle")) {
        QVERIFY2(result.out.endsWith(".tar.gz\n"), result.out);
        const ToolRun tar =
            runTool("tar", {"-tzf", QString::fromUtf8(result.out.trimmed())}, {}, work.path());
        QVERIFY2(!tar.out.contains("bp_panic.log1") && tar.out.contains("bundle.json"), tar.out);
    } else if (arguments.contains("--json")) {
        QCOMPARE(QJsonDocument::fromJson(result.out), QJsonDocument::fromJson(out));
    } else {
        QCOMPARE(result.out, out);
    }
}

void tst_KIVO_PanicTool::failedWrites_data()
{
    QTest::addColumn<QString>("shell"); // runs the tool as "$0" "$@"
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QString>("error"); // what stderr must say

    const QString full = QStringLiteral("exec \"$0\" \"$@\" >/dev/full");
    const QString noOutput =
        QStringLiteral("kivo-panic: cannot write to standard output: No space left on device");
    // Every command writes through one helper and one final flush: one command stands for all.
    QTest::newRow("list bp > /dev/full") << full << QStringList{"list", "bp"} << noOutput;
    // A file size limit of 512 bytes stands for a full disk (no root needed): the archive is
    // not there, nor anything else.
    QTest::newRow("bundle on a full disk")
        << QStringLiteral("trap '' XFSZ; ulimit -f 1; exec \"$0\" \"$@\"")
        << QStringList{"bundle", "--output", "OUT"}
        << QStringLiteral("kivo-panic: cannot write the bundle OUT/kivo-panic-bundle-");
}

// Every write checked to its end: a clear message, a failed exit status, and no file that
// looks complete.
void tst_KIVO_PanicTool::failedWrites()
{
    QFETCH(QString, shell);
    QFETCH(QStringList, arguments);
    QFETCH(QString, error);

    QTemporaryDir output;
    arguments.replaceInStrings(QStringLiteral("OUT"), output.path());
    const ToolRun result =
        runTool(QStringLiteral("sh"),
                QStringList{"-c", shell, QStringLiteral(KIVO_PANIC_TOOL), "--quiet"} + arguments,
                {"KIVO_ROOT=" + m_root->root(), "TZ=UTC"});
    QCOMPARE(result.exitCode, 1);
    error.replace(QStringLiteral("OUT"), output.path());
    QVERIFY2(result.err.startsWith(error.toUtf8()), result.err);
    if (!shell.contains("/dev/full")) {
        QVERIFY2(result.err.contains("File too large"), result.err);
        QCOMPARE(
            QDir(output.path()).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot),
            QStringList());
    }
}

// The bundle carries the pstore records and the dump notes as files, the decoded records of all
// seven sources, and a manifest that sha256sum accepts.
void tst_KIVO_PanicTool::crashBundle()
{
    if (!m_crashSkip.isEmpty()) {
        QSKIP(qPrintable(m_crashSkip));
    }
    QTemporaryDir output;
    QTemporaryDir unpacked;
    const ToolRun result =
        runPanic({"--quiet", "bundle", "--output", output.path()}, m_root->path("/crashes"));
    QString top;
    const QString failure = unpackBundle(result, unpacked.path(), &top);
    QVERIFY2(failure.isEmpty(), qPrintable(failure));
    const QMap<QString, QByteArray> files = readTree(top);
    QVERIFY(files.value("files/sys/fs/pstore/dmesg-ramoops-0").startsWith("Panic#1 Part1\n"));
    QVERIFY(files.contains("files/sys/fs/pstore/console-ramoops-0"));
    QVERIFY(files.value("files/var/lib/systemd/pstore/dmesg-efi-1").startsWith("Oops#1 Part1\n"));
    QVERIFY(files.value("files/var/lib/kivo/devcoredump/devcd-1714820000-devcd0.info")
                .startsWith("device=wlan0\n"));
    // The dumps themselves only with --with-dumps.
    QVERIFY(!files.contains("files/var/lib/kivo/devcoredump/devcd-1714820000-devcd0.data"));
    const QJsonDocument records = QJsonDocument::fromJson(files.value("records.json"));
    QCOMPARE(records["pstore"]["count"].toInt(), 2);
    QCOMPARE(records["coredump"]["panics"][0]["program"].toString(), QStringLiteral("kivo"));
    QCOMPARE(records["devcd"]["panics"][1]["device"].toString(), QStringLiteral("wlan0"));
    QCOMPARE(
        records["devcd"]["panics"][0]["data"].toString(),
        QStringLiteral("7f454c460101000102030405060708090a0b0c0d0e0f101112131415161718191a1b1c1d"));
}

QTEST_GUILESS_MAIN(tst_KIVO_PanicTool)
#include "tst_kivo_panic_tool.moc"
