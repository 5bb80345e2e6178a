#include "KivoTestRoot.h"
#include "ToolRun.h"

#include <QCryptographicHash>
#include <QDateTime>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QMap>
#include <QTemporaryDir>
#include <QtTest>

#include <archive.h>
#include <archive_entry.h>

#include <memory>

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
const QByteArray s_settings = "[KIVO]\nCell Sticker State=1\n";
const QByteArray s_volatile = "[KIVO]\nCell Barring=2\n";

ToolRun runPanic(const QStringList &arguments, const QString &root,
                 const QString &workingDir = QString())
{
    return runTool(QStringLiteral(KIVO_PANIC_TOOL), arguments, {"KIVO_ROOT=" + root, "TZ=UTC"},
                   workingDir);
}

// Every file under a directory with its size, time and content hash.
QMap<QString, QString> snapshot(const QString &dir)
{
    QMap<QString, QString> files;
    QDirIterator it(dir, QDir::Files | QDir::Hidden | QDir::System, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString path = it.next();
        QFile file(path);
        file.open(QIODevice::ReadOnly);
        files.insert(
            path,
            QStringLiteral("%1 %2 %3")
                .arg(it.fileInfo().size())
                .arg(it.fileInfo().lastModified().toMSecsSinceEpoch())
                .arg(QString::fromLatin1(
                    QCryptographicHash::hash(file.readAll(), QCryptographicHash::Sha256).toHex())));
    }
    return files;
}

// The members of a tar.gz, read back with libarchive.
QMap<QString, QByteArray> readArchive(const QString &path, bool *ok)
{
    QMap<QString, QByteArray> members;
    struct archive *reader = archive_read_new();
    archive_read_support_filter_all(reader);
    archive_read_support_format_all(reader);
    *ok = archive_read_open_filename(reader, QFile::encodeName(path).constData(), 16384) ==
          ARCHIVE_OK;
    struct archive_entry *entry = nullptr;
    while (*ok && archive_read_next_header(reader, &entry) == ARCHIVE_OK) {
        QByteArray content;
        char buffer[8192];
        la_ssize_t got = 0;
        while ((got = archive_read_data(reader, buffer, sizeof buffer)) > 0) {
            content.append(buffer, int(got));
        }
        *ok = got == 0;
        members.insert(QString::fromUtf8(archive_entry_pathname_utf8(entry)), content);
    }
    archive_read_free(reader);
    return members;
}

} // namespace

class tst_KIVO_PanicTool : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void textOutput_data();
    void textOutput();
    void jsonOutput_data();
    void jsonOutput();
    void timelineJson();
    void usageError_data();
    void usageError();
    void bundle_data();
    void bundle();
    void sampleData();

private:
    std::unique_ptr<KivoTestRoot> m_root;
    QTemporaryDir m_emptyRoot;
};

void tst_KIVO_PanicTool::initTestCase()
{
    m_root = std::make_unique<KivoTestRoot>();
    QVERIFY(m_root->isValid());
    QVERIFY(m_emptyRoot.isValid());
    const auto write = [this](const QString &devicePath, const QByteArray &content, qint64 mtime) {
        m_root->writeFile(devicePath, content);
        QFile file(m_root->path(devicePath));
        QVERIFY(file.open(QIODevice::ReadWrite));
        QVERIFY(file.setFileTime(QDateTime::fromSecsSinceEpoch(mtime),
                                 QFileDevice::FileModificationTime));
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
}

void tst_KIVO_PanicTool::textOutput_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<bool>("emptyRoot");
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QByteArray>("out");

    QTest::newRow("list bp") << QStringList{"list", "bp"} << false << 0
                             << QByteArray("3 1a2 01.02\n2 20 01.02\n1 10 01.01\n");
    QTest::newRow("list quirn") << QStringList{"list", "quirn"} << false << 0
                                << QByteArray("1 7001 02.0a\n");
    QTest::newRow("list ap: gap in the numbers")
        << QStringList{"list", "ap"} << false << 0 << QByteArray(" 3  82100 \n 1  1a \n");
    QTest::newRow("list kernel") << QStringList{"list", "kernel"} << false << 0
                                 << QByteArray(" 82000 \n");
    QTest::newRow("list bp, no panics")
        << QStringList{"list", "bp"} << true << 0 << QByteArray("No Panics to display\n");
    QTest::newRow("list kernel, no report")
        << QStringList{"list", "kernel"} << true << 0 << QByteArray("No Panics to display\n");

    QTest::newRow("show bp 3: the nine lines")
        << QStringList{"show", "bp", "3"} << false << 0
        << QByteArray("Panic Num: 3\nPanic Ver: 01:02\nPanic Id: 1a2\nTimestamp 13:5:9\n"
                      "4-5-2024\nLength 8\nPanic Data\n00 11 22 33 44 55 \n66 77 \n");
    QTest::newRow("show quirn 1: no data")
        << QStringList{"show", "quirn", "1"} << false << 0
        << QByteArray("Panic Num: 1\nPanic Ver: 02:0a\nPanic Id: 7001\nTimestamp 12:16:40\n"
                      "4-5-2024\nLength 0\nPanic Data\n\n");
    QTest::newRow("show ap 3") << QStringList{"show", "ap", "3"} << false << 0
                               << QByteArray(
                                      "Panic Num: 3\nCore Module Name:\n browser\nPanic Id: 82100\n"
                                      "Timestamp 11:43:20 \n 4-5-2024\nLength 7\n");
    QTest::newRow("show kernel 1") << QStringList{"show", "kernel", "1"} << false << 0
                                   << QByteArray("Timestamp 13:5:9 \n 4-5-2024\n");
    QTest::newRow("show ap 2: the dropped dump")
        << QStringList{"show", "ap", "2"} << false << 1 << QByteArray();
    QTest::newRow("show bp 4: above the count")
        << QStringList{"show", "bp", "4"} << false << 1 << QByteArray();
    QTest::newRow("show kernel 2")
        << QStringList{"show", "kernel", "2"} << false << 1 << QByteArray();

    QTest::newRow("timeline") << QStringList{"timeline"} << false << 0
                              << QByteArray("2024-05-04 10:53:20  bp      1 10 01.01\n"
                                            "2024-05-04 11:10:00  ap       1  1a \n"
                                            "2024-05-04 11:43:20  ap       3  82100 \n"
                                            "2024-05-04 12:00:00  bp      2 20 01.02\n"
                                            "2024-05-04 12:16:40  quirn   1 7001 02.0a\n"
                                            "2024-05-04 13:05:09  bp      3 1a2 01.02\n"
                                            "2024-05-04 13:05:09  kernel   82000 \n");
    QTest::newRow("timeline, no panics")
        << QStringList{"timeline"} << true << 0 << QByteArray("No Panics to display\n");
}

// Standard output holds only the texts; the readers' traces go to stderr unless --quiet.
void tst_KIVO_PanicTool::textOutput()
{
    QFETCH(QStringList, arguments);
    QFETCH(bool, emptyRoot);
    QFETCH(int, exitCode);
    QFETCH(QByteArray, out);

    const QString root = emptyRoot ? m_emptyRoot.path() : m_root->root();
    const ToolRun traced = runPanic(arguments, root);
    QCOMPARE(traced.exitCode, exitCode);
    QCOMPARE(traced.out, out);
    QVERIFY(!traced.err.isEmpty());

    const ToolRun quiet = runPanic(QStringList{"--quiet"} + arguments, root);
    QCOMPARE(quiet.exitCode, exitCode);
    QCOMPARE(quiet.out, out);
    if (exitCode == 0) {
        QCOMPARE(quiet.err, QByteArray());
    } else {
        QVERIFY(quiet.err.startsWith("kivo-panic: no panic "));
    }
}

void tst_KIVO_PanicTool::jsonOutput_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QByteArray>("json");

    QTest::newRow("list bp") << QStringList{"list", "bp"} << QByteArray(R"({
        "source": "bp", "count": 3, "panics": [
        {"source": "bp", "number": 3, "id": 418, "idHex": "1a2", "timestamp": 1714827909,
         "time": "2024-05-04T13:05:09Z", "version": "01.02.03", "length": 8,
         "data": "0011223344556677", "row": "3 1a2 01.02"},
        {"source": "bp", "number": 2, "id": 32, "idHex": "20", "timestamp": 1714824000,
         "time": "2024-05-04T12:00:00Z", "version": "01.02.00", "length": 5,
         "data": "1020304050", "row": "2 20 01.02"},
        {"source": "bp", "number": 1, "id": 16, "idHex": "10", "timestamp": 1714820000,
         "time": "2024-05-04T10:53:20Z", "version": "01.01.00", "length": 2,
         "data": "aabb", "row": "1 10 01.01"}]})");
    QTest::newRow("list ap: count above the records")
        << QStringList{"list", "ap"} << QByteArray(R"({
        "source": "ap", "count": 3, "panics": [
        {"source": "ap", "number": 3, "id": 532736, "idHex": "82100", "module": "browser",
         "nameLength": 7, "file": "core.browser.3", "timestamp": 1714823000,
         "time": "2024-05-04T11:43:20Z", "row": " 3  82100 "},
        {"source": "ap", "number": 1, "id": 26, "idHex": "1a", "module": "messaging",
         "nameLength": 9, "file": "core.messaging.17", "timestamp": 1714821000,
         "time": "2024-05-04T11:10:00Z", "row": " 1  1a "}]})");
    QTest::newRow("list quirn, none") << QStringList{"list", "quirn"} << QByteArray();
    QTest::newRow("show bp 3") << QStringList{"show", "bp", "3"}
                               << QByteArray(R"(
        {"source": "bp", "number": 3, "id": 418, "idHex": "1a2", "timestamp": 1714827909,
         "time": "2024-05-04T13:05:09Z", "version": "01.02.03", "length": 8,
         "data": "0011223344556677", "row": "3 1a2 01.02",
         "detail": "Panic Num: 3\nPanic Ver: 01:02\nPanic Id: 1a2\nTimestamp 13:5:9\n)"
                                             R"(4-5-2024\nLength 8\nPanic Data\n)"
                                             R"(00 11 22 33 44 55 \n66 77 "})");
    QTest::newRow("show kernel 1") << QStringList{"show", "kernel", "1"} << QByteArray(R"(
        {"source": "kernel", "number": 1, "id": 532480, "idHex": "82000",
         "timestamp": 1714827909, "time": "2024-05-04T13:05:09Z", "row": " 82000 ",
         "detail": "Timestamp 13:5:9 \n 4-5-2024"})");
}

void tst_KIVO_PanicTool::jsonOutput()
{
    QFETCH(QStringList, arguments);
    QFETCH(QByteArray, json);

    // A null expectation: the same command on a root without panics gives an empty list.
    const bool none = json.isNull();
    const ToolRun result = runPanic(QStringList{"--json", "--quiet"} + arguments,
                                    none ? m_emptyRoot.path() : m_root->root());
    QCOMPARE(result.exitCode, 0);
    QJsonParseError error;
    const QJsonDocument made = QJsonDocument::fromJson(result.out, &error);
    QVERIFY2(error.error == QJsonParseError::NoError, qPrintable(error.errorString()));
    const QJsonDocument expected =
        none ? QJsonDocument(
                   QJsonObject{{"source", "quirn"}, {"count", 0}, {"panics", QJsonArray()}})
             : QJsonDocument::fromJson(json, &error);
    QVERIFY2(error.error == QJsonParseError::NoError, qPrintable(error.errorString()));
    QCOMPARE(made, expected);
}

void tst_KIVO_PanicTool::timelineJson()
{
    const ToolRun result = runPanic({"--json", "--quiet", "timeline"}, m_root->root());
    QCOMPARE(result.exitCode, 0);
    QStringList order;
    const QJsonArray panics =
        QJsonDocument::fromJson(result.out).object().value("panics").toArray();
    for (const QJsonValue &panic : panics) {
        order << panic["source"].toString() + ' ' + QString::number(panic["number"].toInt()) + ' ' +
                     panic["time"].toString();
    }
    QCOMPARE(order, (QStringList{"bp 1 2024-05-04T10:53:20Z", "ap 1 2024-05-04T11:10:00Z",
                                 "ap 3 2024-05-04T11:43:20Z", "bp 2 2024-05-04T12:00:00Z",
                                 "quirn 1 2024-05-04T12:16:40Z", "bp 3 2024-05-04T13:05:09Z",
                                 "kernel 1 2024-05-04T13:05:09Z"}));
}

void tst_KIVO_PanicTool::usageError_data()
{
    QTest::addColumn<QStringList>("arguments");

    QTest::newRow("no command") << QStringList();
    QTest::newRow("unknown command") << QStringList{"erase"};
    QTest::newRow("list without source") << QStringList{"list"};
    QTest::newRow("unknown source") << QStringList{"list", "dsp"};
    QTest::newRow("show without number") << QStringList{"show", "bp"};
    QTest::newRow("show with a word for N") << QStringList{"show", "bp", "three"};
    QTest::newRow("show 0") << QStringList{"show", "bp", "0"};
    QTest::newRow("timeline with an argument") << QStringList{"timeline", "bp"};
    QTest::newRow("unknown option") << QStringList{"--verbose", "timeline"};
    QTest::newRow("--output without a directory") << QStringList{"bundle", "--output"};
    QTest::newRow("--output for list") << QStringList{"list", "bp", "--output", "x"};
    QTest::newRow("bundle --json") << QStringList{"--json", "bundle"};
}

void tst_KIVO_PanicTool::usageError()
{
    QFETCH(QStringList, arguments);

    QTemporaryDir cwd;
    const ToolRun result = runPanic(arguments, m_root->root(), cwd.path());
    QCOMPARE(result.exitCode, 2);
    QCOMPARE(result.out, QByteArray());
    QVERIFY2(result.err.startsWith("kivo-panic: "), result.err);
    QVERIFY(result.err.contains("\nUsage: kivo-panic "));
    // A refused command reads and writes nothing.
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
    const QMap<QString, QString> before = snapshot(m_root->root());
    const ToolRun result = runPanic(
        QStringList{"--quiet", "bundle"} + options + QStringList{output.path()}, m_root->root());
    QCOMPARE(result.exitCode, 0);
    QCOMPARE(snapshot(m_root->root()), before);

    const QStringList written = QDir(output.path()).entryList(QDir::Files);
    QCOMPARE(written.size(), 1);
    const QString name = written.first();
    QVERIFY2(QRegularExpression(QStringLiteral("^kivo-panic-bundle-\\d{8}-\\d{6}Z\\.tar\\.gz$"))
                 .match(name)
                 .hasMatch(),
             qPrintable(name));
    QCOMPARE(result.out, (QDir(output.path()).filePath(name) + '\n').toUtf8());

    bool ok = false;
    const QMap<QString, QByteArray> members = readArchive(QDir(output.path()).filePath(name), &ok);
    QVERIFY(ok);
    const QString top = name.chopped(7) + '/';
    QMap<QString, QByteArray> files;
    for (auto it = members.cbegin(); it != members.cend(); ++it) {
        QVERIFY2(it.key().startsWith(top), qPrintable(it.key()));
        files.insert(it.key().mid(top.size()), it.value());
    }

    // The manifest names every other member once, with its SHA-256.
    QVERIFY(files.contains("MANIFEST.sha256"));
    QMap<QString, QByteArray> sums;
    for (const QByteArray &line : files.value("MANIFEST.sha256").split('\n')) {
        if (line.isEmpty()) {
            continue;
        }
        QCOMPARE(line.indexOf("  "), 64);
        sums.insert(QString::fromUtf8(line.mid(66)), line.left(64));
    }
    QStringList others = files.keys();
    others.removeOne("MANIFEST.sha256");
    QCOMPARE(sums.keys(), others);
    for (const QString &member : others) {
        QCOMPARE(sums.value(member),
                 QCryptographicHash::hash(files.value(member), QCryptographicHash::Sha256).toHex());
    }

    // The raw sources and the settings files as they are on the phone.
    QCOMPARE(files.value("files/veklocal/panic/bp_panic.log1"), s_bpLog1);
    QCOMPARE(files.value("files/veklocal/panic/qupanic_block.a"), s_quirnA);
    QVERIFY(!files.contains("files/veklocal/panic/bp_panic.log2"));
    QCOMPARE(files.value("files/usr/data_resource/apr/coredump_table.cfg"), s_moduleTable);
    QCOMPARE(files.value("files/vek_user/download/appwrite/kivo/kivo.ini"), s_settings);
    QCOMPARE(files.value("files/tmp/kivo"), s_volatile);
    QCOMPARE(files.value("kernel/kpanic.txt"), s_kernelReport);

    QStringList dumpNames;
    const QJsonArray entries =
        QJsonDocument::fromJson(files.value("dumps.json")).object().value("entries").toArray();
    for (const QJsonValue &entry : entries) {
        dumpNames << entry["name"].toString() + ' ' +
                         QString::number(entry["modified"].toInteger());
    }
    QCOMPARE(dumpNames, (QStringList{"core.browser.3 1714823000", "core.dump 1714822000",
                                     "core.messaging.17 1714821000"}));
    QCOMPARE(files.contains("dumps/core.browser.3"), dumpsIncluded);
    if (dumpsIncluded) {
        QCOMPARE(files.value("dumps/core.browser.3"), QByteArray("ELF browser"));
        QCOMPARE(files.value("dumps/core.dump"), QByteArray("ELF ?"));
    }

    const QJsonObject records = QJsonDocument::fromJson(files.value("records.json")).object();
    QCOMPARE(records.value("bp")["count"].toInt(), 3);
    QCOMPARE(records.value("bp")["panics"][0]["detail"].toString(),
             QStringLiteral("Panic Num: 3\nPanic Ver: 01:02\nPanic Id: 1a2\nTimestamp 13:5:9\n"
                            "4-5-2024\nLength 8\nPanic Data\n00 11 22 33 44 55 \n66 77 "));
    QCOMPARE(records.value("ap")["panics"].toArray().size(), 2);
    QCOMPARE(records.value("quirn")["panics"].toArray().size(), 1);
    QCOMPARE(records.value("kernel")["panics"][0]["timestamp"].toInteger(), 1714827909);
}

// The sample data fills a root that the tool reads back in full.
void tst_KIVO_PanicTool::sampleData()
{
    QTemporaryDir root;
    const ToolRun filled =
        runTool(QStringLiteral(KIVO_SAMPLE_DATA_TOOL), {root.path() + "/phone"}, {"KIVO_ROOT="});
    QCOMPARE(filled.exitCode, 0);

    const QString phone = root.path() + "/phone";
    const QList<QPair<QString, int>> expected = {{"bp", 5}, {"quirn", 3}, {"ap", 3}, {"kernel", 1}};
    for (const auto &source : expected) {
        const ToolRun listed = runPanic({"--quiet", "--json", "list", source.first}, phone);
        QCOMPARE(listed.exitCode, 0);
        const QJsonArray panics =
            QJsonDocument::fromJson(listed.out).object().value("panics").toArray();
        QCOMPARE(panics.size(), source.second);
    }
    // The older file of each pair is read first, so its blocks are number 1 and 2.
    const ToolRun bp = runPanic({"--quiet", "list", "bp"}, phone);
    QVERIFY2(bp.out.endsWith("2 2c4 01.02\n1 1a2 01.02\n"), bp.out);

    const ToolRun refused = runTool(QStringLiteral(KIVO_SAMPLE_DATA_TOOL), {}, {"KIVO_ROOT="});
    QCOMPARE(refused.exitCode, 2);
    QVERIFY(refused.err.contains("Usage: kivo-sample-data"));
}

QTEST_GUILESS_MAIN(tst_KIVO_PanicTool)
#include "tst_kivo_panic_tool.moc"
