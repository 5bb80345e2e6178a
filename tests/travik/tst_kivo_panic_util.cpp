#include "KIVO_Panic_Util.h"

#include "CrashFixtures.h"
#include "KIVO_CrashText.h"
#include "KivoTestRoot.h"
#include "StderrCapture.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <QtEndian>
#include <QtTest>

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <ctime>
#include <sys/stat.h>
#include <unistd.h>

// Every fixture below is laid out byte by byte from the documented block formats: magic, block
// size, eight bytes not interpreted, panic id, timestamp, three version bytes, filler, data
// length, data; multi-byte fields big-endian.
namespace {

constexpr int kBp = 43;    // BP header size, the length at offset 39, version 01 02 03
constexpr int kQuirn = 71; // QUIRN header size, the length at offset 67, version 0A 0B 0C

QByteArray be(quint32 value, int size)
{
    QByteArray bytes(4, '\0');
    qToBigEndian(value, bytes.data());
    return bytes.right(size);
}

// A block with a header of `header` bytes, padded with zeros up to `size`.
QByteArray block(int header, quint16 size, quint32 id, quint32 time, quint32 length,
                 const QByteArray &data, const QByteArray &magic = QByteArray::fromHex("b5c7"))
{
    QByteArray bytes = magic + be(size, 2) + QByteArray(8, '\0') + be(id, 4) + be(time, 4) +
                       QByteArray::fromHex(header == kBp ? "010203" : "0a0b0c");
    bytes += QByteArray(header - 4 - bytes.size(), '\0') + be(length, 4) + data;
    return bytes + QByteArray(qMax(0, int(size) - int(bytes.size())), '\0');
}

QByteArray counting(int n)
{
    QByteArray bytes;
    for (int i = 0; i < n; ++i) {
        bytes += char(i);
    }
    return bytes;
}

QByteArray hex(const uint8_t *data, quint32 size)
{
    return QByteArray(reinterpret_cast<const char *>(data), int(size)).toHex();
}

// Each record from the head as "number:id:time:version:length:kept data".
QStringList describeList(const PanicNode *head)
{
    QStringList records;
    for (; head; head = head->next) {
        const auto &r = *static_cast<const PanicRecord *>(head->data);
        records << QString::asprintf("%u:%x:%u:%s:%u:%s", r.panicNum, r.panicId, r.timestamp,
                                     hex(r.version, 3).constData(), r.length,
                                     hex(r.data, std::min<quint32>(r.length, 36)).constData());
    }
    return records;
}

// Each record from the head as "number|module id|module name|file name".
QStringList describeApList(const PanicNode *head)
{
    QStringList records;
    for (; head; head = head->next) {
        const auto &r = *static_cast<const ApDumpRecord *>(head->data);
        records << QString::asprintf("%u|%x|%s|%s", r.panicNum, r.moduleId, r.moduleName,
                                     r.fileName);
    }
    return records;
}

const QByteArray s_data5 = QByteArray::fromHex("1020304050");
const QByteArray s_swapTrace = "{1} KIVO_Panic_Util:L\tChip is low Word Order\nReturn";
const QByteArray s_readEnd = "{1} KIVO_Panic_Util:L\tError in reading\n";
const QByteArray s_dataEnd = "{1} KIVO_Panic_Util:L\tError in reading panic data\n";

// The line numbers of panic trace lines become "L"; with `dropSwaps` the field conversion
// traces are taken out, leaving the traces that tell what happened.
QByteArray normalized(const QByteArray &trace, bool dropSwaps = true)
{
    QString text = QString::fromLatin1(trace);
    text.replace(QRegularExpression(QStringLiteral("KIVO_Panic_Util:\\d+\\t")),
                 QStringLiteral("KIVO_Panic_Util:L\t"));
    if (dropSwaps) {
        text.remove(QString::fromLatin1(s_swapTrace));
    }
    return text.toLatin1();
}

struct PanicList {
    PanicNode *head = nullptr;
    uint8_t count = 77; // the readers must reset it
    ~PanicList()
    {
        freePanicList(&head);
    }
};

} // namespace

class tst_KIVO_Panic_Util : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void swapToHostOrder();
    void readBlocks_data();
    void readBlocks();
    void readApPanics_data();
    void readApPanics();
    void readKernelPanic_data();
    void readKernelPanic();
    void panicCommand_data();
    void panicCommand();
    void hostileRoot_data();
    void hostileRoot();
    void findPanicNode_data();
    void findPanicNode();
    void crashRecords_data();
    void crashRecords();

private:
    void writeFile(const QString &devicePath, const QByteArray &content, qint64 mtime = 0);
    static void makeFifo(const QString &path);
    KivoTestRoot m_root;
};

void tst_KIVO_Panic_Util::initTestCase()
{
    QVERIFY(m_root.isValid());
    QVERIFY(QDir::setCurrent(m_root.root())); // where an injected "touch pwned" would land
    qputenv("TZ", "UTC");
    tzset();
    const quint16 probe = 1;
    if (*reinterpret_cast<const uchar *>(&probe) != 1) {
        QSKIP("The traces pinned here are those of a little-endian host");
    }
}

void tst_KIVO_Panic_Util::init()
{
    for (const char *dir :
         {"/veklocal", "/usr", "/dev", "/hostile", "/sys", "/var", "/run", "/elsewhere"}) {
        QDir(m_root.path(QString::fromLatin1(dir))).removeRecursively();
    }
}

void tst_KIVO_Panic_Util::writeFile(const QString &devicePath, const QByteArray &content,
                                    qint64 mtime)
{
    m_root.writeFile(devicePath, content);
    QVERIFY(setModifiedTime(QFile::encodeName(m_root.path(devicePath)), mtime));
}

// A FIFO without writer at `path`.
void tst_KIVO_Panic_Util::makeFifo(const QString &path)
{
    QFile::remove(path);
    QCOMPARE(mkfifo(QFile::encodeName(path).constData(), 0600), 0);
}

// Fields of 2 and 4 bytes are swapped; other sizes and a null field are left alone, and
// nothing beyond the field is touched.
void tst_KIVO_Panic_Util::swapToHostOrder()
{
    StderrCapture capture;
    QByteArray bytes = QByteArray::fromHex("000001a2 0040 010203") + "guard";
    ::swapToHostOrder(bytes.data(), 4);
    ::swapToHostOrder(bytes.data() + 4, 2);
    ::swapToHostOrder(bytes.data() + 6, 3);
    ::swapToHostOrder(bytes.data() + 9, 0);
    ::swapToHostOrder(nullptr, 4);
    QCOMPARE(bytes.toHex(), (QByteArray::fromHex("a2010000 4000 010203") + "guard").toHex());
    QCOMPARE(normalized(capture.text(), false), s_swapTrace + s_swapTrace);
}

void tst_KIVO_Panic_Util::readBlocks_data()
{
    QTest::addColumn<int>("type");
    QTest::addColumn<QByteArray>("first");  // .log1 or .a; null: absent
    QTest::addColumn<QByteArray>("second"); // .log2 or .b
    QTest::addColumn<int>("firstNewer");    // seconds
    QTest::addColumn<QStringList>("records"); // from the head
    // The traces, null: not pinned; the swap traces are left out unless the row has one.
    QTest::addColumn<QByteArray>("trace");

    const QByteArray noLog1 = "Unable to read /veklocal/panic/bp_panic.log1";
    const QByteArray noLog2 = "Unable to read /veklocal/panic/bp_panic.log2";
    const QByteArray noB = "Unable to read /veklocal/panic/qupanic_block.b";
    const QString kept36 = QString::fromLatin1(counting(36).toHex());
    const QByteArray none;
    const int bp = PANIC_BP;
    const int quirn = PANIC_QUIRN;

    // The swaps, in order: magic, size, length, time, id.
    QTest::newRow("valid: the 48-byte block")
        << bp
        << QByteArray::fromHex("b5c7 0030 0000000000000000 000001a2 00000000 010203"
                               "00000000000000000000000000000000 00000005 1020304050")
        << none << 0 << QStringList{"1:1a2:0:010203:5:1020304050"}
        << noLog2 + s_swapTrace.repeated(5) + s_readEnd;
    // 36 data bytes kept, the next block found by the size; a wrong magic is traced, the block
    // still listed. Time and id are unsigned 32 bits wherever long and time_t are 32 bits too.
    QTest::newRow("valid: length 100, then a wrong magic and top bits in time and id")
        << bp
        << block(kBp, 148, 0x100, 1000, 100, counting(100)) +
               block(kBp, 48, 0x80000001, 0xf0000000, 5, s_data5, QByteArray::fromHex("aabb"))
        << none << 0
        << QStringList{"2:80000001:4026531840:010203:5:1020304050",
                       "1:100:1000:010203:100:" + kept36}
        << noLog2 + "Wrong Header : 0xaabb" + s_readEnd;
    QTest::newRow("valid: quirn length 100, then the magic 0A 0B")
        << quirn
        << block(kQuirn, 172, 0x1, 1, 100, counting(100)) +
               block(kQuirn, 76, 0x3c, 5, 5, s_data5, QByteArray::fromHex("0a0b"))
        << none << 0 << QStringList{"2:3c:5:0a0b0c:5:1020304050", "1:1:1:0a0b0c:100:" + kept36}
        << noB + "Header of this block is wrong :ab!!!" + s_readEnd;

    QTest::newRow("truncated: inside a header") << bp << block(kBp, 48, 0x1, 1, 5, s_data5).left(20)
                                                << none << 0 << QStringList() << noLog2 + s_readEnd;

    // A size below header plus data would make the skip a step back: the pass ends after the
    // record, and the block behind it is not read.
    QTest::newRow("corrupt: block size smaller than the header")
        << bp << block(kBp, 16, 0x1, 1, 5, s_data5) + block(kBp, 48, 0x2, 2, 5, s_data5) << none
        << 0 << QStringList{"1:1:1:010203:5:1020304050"} << noLog2;

    // Two files: the older by modification time is numbered first (.a and .b go the same way).
    const QByteArray d = QByteArray::fromHex("01");
    const QByteArray bp1 = block(kBp, 44, 0x11, 0, 1, d) + block(kBp, 44, 0x12, 0, 1, d);
    const QByteArray bp2 = block(kBp, 44, 0x21, 0, 1, d) + block(kBp, 44, 0x22, 0, 1, d);
    const auto records = [](const QStringList &numbersAndIds) {
        QStringList list;
        for (const QString &numberAndId : numbersAndIds) {
            list << numberAndId + ":0:010203:1:01";
        }
        return list;
    };
    const QStringList log1First = records({"4:22", "3:21", "2:12", "1:11"});
    const QByteArray twoEnds = s_readEnd + s_readEnd;
    QTest::newRow("pair: log1 newer")
        << bp << bp1 << bp2 << 60 << records({"4:12", "3:11", "2:22", "1:21"}) << twoEnds;
    QTest::newRow("pair: equal times") << bp << bp1 << bp2 << 0 << log1First << twoEnds;
    QTest::newRow("pair: only log2")
        << bp << none << bp2 << 0 << records({"2:22", "1:21"}) << noLog1 + s_readEnd;
    QTest::newRow("pair: older file ends inside a block, newer still read")
        << bp << bp1 + block(kBp, 44, 0x13, 0, 9, d).left(45) << bp2 << -60 << log1First
        << s_dataEnd + s_readEnd;

    // The 8-bit count numbers at most 255 records; the rest of the source is not listed.
    QByteArray older;
    QByteArray newer;
    QStringList numbersAndIds;
    for (int i = 0; i < 200; ++i) {
        older += block(kBp, 44, quint32(i + 1), 0, 1, d);
        newer += i < 100 ? block(kBp, 44, quint32(1000 + i), 0, 1, d) : QByteArray();
    }
    for (int number = 255; number > 0; --number) {
        const int id = number > 200 ? 1000 + number - 201 : number;
        numbersAndIds << QStringLiteral("%1:%2").arg(number).arg(id, 0, 16);
    }
    QTest::newRow("pair: 300 blocks, 255 listed")
        << bp << older << newer << -100 << records(numbersAndIds) << QByteArray();
}

void tst_KIVO_Panic_Util::readBlocks()
{
    QFETCH(int, type);
    QFETCH(QByteArray, first);
    QFETCH(QByteArray, second);
    QFETCH(int, firstNewer);
    QFETCH(QStringList, records);
    QFETCH(QByteArray, trace);

    const bool bp = type == PANIC_BP;
    if (!first.isNull()) {
        writeFile(bp ? PANIC_BP_FILE_1 : PANIC_QUIRN_FILE_A, first, 1700000000 + firstNewer);
    }
    if (!second.isNull()) {
        writeFile(bp ? PANIC_BP_FILE_2 : PANIC_QUIRN_FILE_B, second, 1700000000);
    }
    PanicList list;
    StderrCapture capture;
    (bp ? readBpPanics : readQuirnPanics)(&list.head, &list.count);
    QCOMPARE(describeList(list.head), records);
    QCOMPARE(int(list.count), records.size());
    if (!trace.isNull()) {
        QCOMPARE(normalized(capture.text(), !trace.contains(s_swapTrace)), trace);
    }
}

void tst_KIVO_Panic_Util::readApPanics_data()
{
    QTest::addColumn<QStringList>("files");   // empty: no directory; "": the directory only
    QTest::addColumn<QList<int>>("ages");     // seconds after a fixed time; empty: 10 s apart
    QTest::addColumn<QByteArray>("table");    // null: no table file
    QTest::addColumn<QStringList>("records"); // from the head
    QTest::addColumn<QByteArray>("trace");    // null: not pinned

    const QByteArray table = "# module table\n\n1a=messaging\n2f=abcdefghijklmnopqrstuvwxyz\n";
    const QByteArray tableTrace =
        "module id=1a,module name=messagingmodule id=2f,module name=abcdefghijklmnopqrstuvwx";
    const QList<int> inOrder;

    QTest::newRow("table hit and miss, core.dump skipped, its number unused")
        << QStringList{"core.messaging.17", "core.dump", "core.browser.3"} << inOrder << table
        << QStringList{"3|82100|browser|core.browser.3", "1|1a|messaging|core.messaging.17"}
        << tableTrace +
               "Tracing module - messagingUnexpected filename core.dumpTracing module - browser";
    QTest::newRow("filter: mycore.x.y passes, others not")
        << QStringList{"mycore.x.y", "readme.txt", "dump.1"} << inOrder << table
        << QStringList{"1|82100|x|mycore.x.y"} << tableTrace + "Tracing module - x";
    QTest::newRow("entry line without =: id 5, empty name")
        << QStringList{"core..7"} << inOrder << QByteArray("5\n") << QStringList{"1|5||core..7"}
        << QByteArray("module id=5,module name=Tracing module - ");

    // Names and table lines are data, never a shell word nor a format: they come out as they
    // stand, the name cut to 24 characters; in traces a control character shows as \xHH.
    const QString longName = "core." + QString(248, 'm') + ".1";
    QTest::newRow("hostile names")
        << QStringList{"core.$(touch pwned).1", "core.new\nline.2", longName, "core.a b;'c\".3",
                       "core.%s%n%x.1"}
        << inOrder << QByteArray("2=$(touch\n1=%n%s%p\n")
        << QStringList{"5|82100|%s%n%x|core.%s%n%x.1", "4|82100|a b;'c\"|core.a b;'c\".3",
                       "3|82100|" + QString(24, 'm') + "|" + longName,
                       "2|82100|new\nline|core.new\nline.2",
                       "1|82100|$(touch pwned)|core.$(touch pwned).1"}
        << "module id=2,module name=$(touchmodule id=1,module name=%n%s%p"
           "Tracing module - $(touch pwned)Tracing module - new\\x0AlineTracing module - " +
               QByteArray(24, 'm') + "Tracing module - a b;'c\"Tracing module - %s%n%x";
    // A clock that ran ahead: with a 32-bit time_t, stat() refuses such a dump (EOVERFLOW).
    QTest::newRow("a dump stamped in 2040 is the newest")
        << QStringList{"core.late.1", "core.early.2"} << QList<int>{514129600, 0} << table
        << QStringList{"2|82100|late|core.late.1", "1|82100|early|core.early.2"}
        << tableTrace + "Tracing module - earlyTracing module - late";
    QTest::newRow("empty directory")
        << QStringList{""} << inOrder << table << QStringList()
        << tableTrace + "{1} KIVO_Panic_Util:L\tNo valid dump file\n";
    QTest::newRow("no directory")
        << QStringList() << inOrder << table << QStringList()
        << tableTrace + "{1} KIVO_Panic_Util:L\tRead dir failed - No such file or directory\n";

    QByteArray limitTable;
    for (int i = 0; i < 300; ++i) {
        limitTable += QByteArray::number(0x100 + i, 16) + "=mod" + QByteArray::number(i) + '\n';
    }
    QTest::newRow("table of 300 lines uses 255")
        << QStringList{"core.mod254.1", "core.mod255.2"} << inOrder << limitTable
        << QStringList{"2|82100|mod255|core.mod255.2", "1|1fe|mod254|core.mod254.1"}
        << QByteArray();

    QTest::newRow("equal times sort by name")
        << QStringList{"core.b.2", "core.a.1", "core.c.3"} << QList<int>{5, 5, 0} << QByteArray()
        << QStringList{"3|82100|b|core.b.2", "2|82100|a|core.a.1", "1|82100|c|core.c.3"}
        << QByteArray();
    // 300 dumps, file i aged 7i mod 300, against name order: the newest 255 (ages 45 to 299)
    // are numbered by age, 1 to 255.
    QStringList files;
    QList<int> ages;
    QStringList records;
    for (int i = 0; i < 300; ++i) {
        files << QStringLiteral("core.m.%1").arg(i);
        ages << (7 * i) % 300;
    }
    for (int age = 299; age >= 45; --age) {
        records << QStringLiteral("%1|82100|m|%2").arg(age - 44).arg(files.at(ages.indexOf(age)));
    }
    QTest::newRow("300 dumps: the newest 255")
        << files << ages << QByteArray() << records << QByteArray();

    // Entries that cannot be stat'ed ("@": a dangling symlink, "~": a symlink loop) sort last;
    // only they are lost, each with its trace.
    const QByteArray noFile = "{1} KIVO_Panic_Util:L\tstat error:-1,2, No such file or directory\n";
    const QByteArray loop =
        "{1} KIVO_Panic_Util:L\tstat error:-1,40, Too many levels of symbolic links\n";
    QTest::newRow("unstattable entries sort last")
        << QStringList{"@core.gone.1", "core.a.2", "~core.loop.3", "core.b.4"} << inOrder
        << QByteArray() << QStringList{"2|82100|b|core.b.4", "1|82100|a|core.a.2"}
        << "No fatal panic config file or fail to open itTracing module - aTracing module - b" +
               noFile + loop;
}

void tst_KIVO_Panic_Util::readApPanics()
{
    QFETCH(QStringList, files);
    QFETCH(QList<int>, ages);
    QFETCH(QByteArray, table);
    QFETCH(QStringList, records);
    QFETCH(QByteArray, trace);

    for (int i = 0; i < files.size(); ++i) {
        QVERIFY(QDir().mkpath(m_root.path(PANIC_DUMP_DIR)));
        const QString name = files.at(i).mid(1);
        if (files.at(i).startsWith('@')) {
            QVERIFY(QFile::link(m_root.path("/nowhere"), m_root.path(PANIC_DUMP_DIR) + '/' + name));
        } else if (files.at(i).startsWith('~')) {
            QVERIFY(QFile::link(name, m_root.path(PANIC_DUMP_DIR) + '/' + name));
        } else if (!files.at(i).isEmpty()) {
            writeFile(PANIC_DUMP_DIR + ('/' + files.at(i)), "ELF",
                      qint64(1700000000) + (ages.isEmpty() ? 10 * i : ages.at(i)));
        }
    }
    if (!table.isNull()) {
        writeFile(PANIC_MODULE_TABLE, table);
    }

    PanicList list;
    StderrCapture capture;
    ::readApPanics(&list.head, &list.count);
    QCOMPARE(describeApList(list.head), records);
    // The count is the number of entries taken: a skipped "core.dump" keeps its number, and an
    // entry that cannot be stat'ed counts too.
    QCOMPARE(int(list.count), records.value(0).section('|', 0, 0).toInt() +
                                  files.filter(QRegularExpression(QStringLiteral("^[@~]"))).size());
    if (!trace.isNull()) {
        QCOMPARE(normalized(capture.text()), trace);
    }
    QVERIFY(!QFile::exists(QStringLiteral("pwned"))); // no name reached a shell
}

void tst_KIVO_Panic_Util::readKernelPanic_data()
{
    QTest::addColumn<QByteArray>("report"); // null: no partition
    QTest::addColumn<qint64>("timestamp");  // -1: no record
    QTest::addColumn<QByteArray>("trace");

    const QByteArray before = "<0>[  812.305117] Kernel panic - not syncing: Fatal exception\n"
                              "<0>[  812.305201] CPU: 0 PID: 1 Comm: init Tainted: G   D\n";
    const QByteArray noPanic = "EnterNo new Kernel panic - -1";
    const QByteArray may4 = "Enteryear=124,mon=4,day=4,hour=13,min=5,sec=9";

    QTest::newRow("valid: time line, only the first counts")
        << before + "Current Time = 2024-05-04 13:05:09\nCurrent Time = 2023-01-01 00:00:00\n"
        << qint64(1714827909) << may4;
    QTest::newRow("truncated: line ends after the month")
        << QByteArray("Current Time = 2024-05") << qint64(1714435200)
        << QByteArray("Enteryear=124,mon=4,day=0,hour=0,min=0,sec=0");
    // Past the end of a 32-bit time_t (03:14:07 UTC on 19 January 2038), the fields still
    // carried over: day 0 is the last of the month before, second 60 the next minute.
    QTest::newRow("valid: the first second past a 32-bit time_t")
        << QByteArray("Current Time = 2038-01-19 03:14:08\n") << qint64(2147483648)
        << QByteArray("Enteryear=138,mon=0,day=19,hour=3,min=14,sec=8");
    QTest::newRow("valid: day 0 and second 60 carried over in 2039")
        << QByteArray("Current Time = 2039-03-00 23:59:60\n") << qint64(2182550400)
        << QByteArray("Enteryear=139,mon=2,day=0,hour=23,min=59,sec=60");
    // The whole report is read, whatever comes before the time line.
    const QByteArray sixMiB = before.repeated(6 * 1024 * 1024 / before.size() + 1);
    QTest::newRow("valid: time line after 6 MiB of log")
        << sixMiB + "Current Time = 2024-05-04 13:05:09\n"
        << qint64(1714827909) << may4;
    QTest::newRow("valid: time line at the end of a 6 MiB line")
        << QByteArray(6 * 1024 * 1024, 'x') + "Current Time = 2024-05-04 13:05:09"
        << qint64(1714827909) << may4;
    // cat's own complaint stays out of KIVO's traces.
    QTest::newRow("no partition") << QByteArray() << qint64(-1) << noPanic;
    QTest::newRow("no marker") << before << qint64(-1) << noPanic;
    // A partition that is no regular file nor block device reads as a missing one, at once.
    QTest::newRow("fifo partition") << QByteArray("fifo") << qint64(-1) << noPanic;
}

void tst_KIVO_Panic_Util::readKernelPanic()
{
    QFETCH(QByteArray, report);
    QFETCH(qint64, timestamp);

    QVERIFY(QDir().mkpath(m_root.path("/dev/mtdblock")));
    if (report == "fifo") {
        makeFifo(m_root.path(PANIC_KERNEL_PARTITION));
    } else if (!report.isNull()) {
        writeFile(PANIC_KERNEL_PARTITION, report);
    }
    PanicList list;
    StderrCapture capture;
    ::readKernelPanic(&list.head);
    QTEST(capture.text(), "trace");
    QCOMPARE(list.count, uint8_t(77)); // left alone
    QCOMPARE(list.head != nullptr, timestamp >= 0);
    if (list.head) {
        QVERIFY(!list.head->next);
        const auto *record = static_cast<const KernelPanicRecord *>(list.head->data);
        QCOMPARE(qint64(record->timestamp), timestamp);
        QCOMPARE(record->panicId, 0x82000u);
    }
}

// A command that stalls or says too much is cut off; the command and what it started are gone.
void tst_KIVO_Panic_Util::panicCommand_data()
{
    QTest::addColumn<QByteArray>("command");
    QTest::addColumn<int>("limit");
    QTest::addColumn<QByteArray>("output"); // null: not pinned, only its size
    QTest::addColumn<bool>("timedOut");

    QTest::newRow("ends by itself")
        << QByteArray("printf 'a\\nb'") << 100 << QByteArray("a\nb") << false;
    QTest::newRow("stalls after some output")
        << QByteArray("printf x; exec sleep 60") << 100 << QByteArray("x") << true;
    QTest::newRow("stalls, with a child of its own")
        << QByteArray("sleep 60 & sleep 60") << 100 << QByteArray("") << true;
    QTest::newRow("more than the limit") << QByteArray("exec yes") << 5000 << QByteArray() << false;
}

void tst_KIVO_Panic_Util::panicCommand()
{
    QFETCH(QByteArray, command);
    QFETCH(int, limit);
    QFETCH(QByteArray, output);
    QFETCH(bool, timedOut);

    const PanicCommandRun run = runPanicCommand(command, size_t(limit), 300);
    QVERIFY(run.started);
    QCOMPARE(run.timedOut, timedOut);
    if (output.isNull()) {
        QCOMPARE(run.output.size(), limit);
    } else {
        QCOMPARE(run.output, output);
    }
    // Waited for, and its process group killed: no process of the group is left (a grandchild
    // goes once init has reaped it).
    QCOMPARE(::kill(run.pid, 0), -1);
    QCOMPARE(errno, ESRCH);
    QTRY_VERIFY(::kill(-run.pid, 0) == -1 && errno == ESRCH);
}

void tst_KIVO_Panic_Util::hostileRoot_data()
{
    QTest::addColumn<QString>("rootName");

    QTest::newRow("all at once") << QStringLiteral(
        "it's a $(touch pwned) `touch pwned`;touch pwned '");
    QTest::newRow("trailing slash") << QStringLiteral("plain/");
}

// Every reader under a hostile KIVO_ROOT: each source is found under the root, and the root
// reaches the kernel report's shell command as one quoted word, so nothing is run. The BP log
// .log1 is a FIFO without writer: it is traced as unreadable, as a missing one is, and the rest
// is read as usual (every source opens through the same regular-file check).
void tst_KIVO_Panic_Util::hostileRoot()
{
    QFETCH(QString, rootName);

    const QString hostile = "/hostile/" + rootName;
    m_root.writeFile(hostile + PANIC_BP_FILE_2, block(kBp, 48, 0x1a2, 0, 5, s_data5));
    m_root.writeFile(hostile + PANIC_QUIRN_FILE_A, block(kQuirn, 76, 0x7001, 0, 5, s_data5));
    m_root.writeFile(hostile + PANIC_DUMP_DIR + "/core.messaging.1", "ELF");
    m_root.writeFile(hostile + "/usr/data_resource/apr/coredump_table.cfg", "1a=messaging\n");
    m_root.writeFile(hostile + "/dev/mtdblock/kpanic", "Current Time = 2024-05-04 13:05:09\n");
    makeFifo(m_root.path(hostile + PANIC_BP_FILE_1));
    QVERIFY(QDir::setCurrent(m_root.path("/hostile")));

    qputenv("KIVO_ROOT", m_root.path(hostile).toLocal8Bit());
    PanicList bp;
    PanicList quirn;
    PanicList ap;
    PanicList kernel;
    QByteArray trace;
    {
        StderrCapture capture;
        ::readBpPanics(&bp.head, &bp.count);
        ::readQuirnPanics(&quirn.head, &quirn.count);
        ::readApPanics(&ap.head, &ap.count);
        ::readKernelPanic(&kernel.head);
        trace = capture.text();
    }
    qputenv("KIVO_ROOT", m_root.root().toLocal8Bit());
    QVERIFY(QDir::setCurrent(m_root.root()));

    QCOMPARE(describeList(bp.head) + describeList(quirn.head) + describeApList(ap.head),
             (QStringList{"1:1a2:0:010203:5:1020304050", "1:7001:0:0a0b0c:5:1020304050",
                          "1|1a|messaging|core.messaging.1"}));
    QVERIFY2(trace.contains("Unable to read /veklocal/panic/bp_panic.log1"), trace.constData());
    QVERIFY(kernel.head);
    QCOMPARE(qint64(static_cast<const KernelPanicRecord *>(kernel.head->data)->timestamp),
             qint64(1714827909));
    QVERIFY(!QFile::exists(m_root.path("/hostile/pwned")));
}

void tst_KIVO_Panic_Util::findPanicNode_data()
{
    QTest::addColumn<int>("type");
    QTest::addColumn<QList<int>>("numbers"); // from the head
    QTest::addColumn<int>("start");          // index of the node the search starts at
    QTest::addColumn<int>("target");
    QTest::addColumn<int>("found"); // index of the node found, -1: none

    QTest::newRow("bp: back from the tail") << int(PANIC_BP) << QList<int>{3, 2, 1} << 2 << 3 << 0;
    QTest::newRow("quirn: where it stands")
        << int(PANIC_QUIRN) << QList<int>{3, 2, 1} << 1 << 2 << 1;
    QTest::newRow("ap: gap above") << int(PANIC_AP) << QList<int>{5, 3, 1} << 0 << 4 << -1;
    QTest::newRow("ap: past the tail") << int(PANIC_AP) << QList<int>{3, 2} << 0 << 1 << -1;
    QTest::newRow("ap: across a gap") << int(PANIC_AP) << QList<int>{5, 3, 1} << 0 << 1 << 2;
    QTest::newRow("kernel: no search") << int(PANIC_KERNEL) << QList<int>{0} << 0 << 7 << 0;
}

void tst_KIVO_Panic_Util::findPanicNode()
{
    QFETCH(int, type);
    QFETCH(QList<int>, numbers);
    QFETCH(int, start);
    QFETCH(int, target);
    QFETCH(int, found);

    PanicList list;
    QList<PanicNode *> nodes; // from the head
    for (auto it = numbers.crbegin(); it != numbers.crend(); ++it) {
        // The kernel record is left zero.
        void *record = std::calloc(1, std::max(sizeof(ApDumpRecord), sizeof(PanicRecord)));
        if (type == PANIC_AP) {
            static_cast<ApDumpRecord *>(record)->panicNum = quint32(*it);
        } else if (type != PANIC_KERNEL) {
            static_cast<PanicRecord *>(record)->panicNum = quint32(*it);
        }
        QVERIFY(addPanicNode(&list.head, record));
        nodes.prepend(list.head);
    }
    PanicNode *result = ::findPanicNode(PanicType(type), nodes.at(start), quint32(target));
    QCOMPARE(result, found < 0 ? nullptr : nodes.at(found));
}

// The crash readers of a mainline Linux (pstore, systemd-coredump, devcoredump) on places built
// in the test root: records found and ordered, missing places, and hostile entries.
void tst_KIVO_Panic_Util::crashRecords_data()
{
    QTest::addColumn<int>("type");
    QTest::addColumn<QString>("fixture");
    QTest::addColumn<QStringList>("rows");
    QTest::addColumn<QString>("detailHas"); // how the newest record's detail ends

    const int pstore = PANIC_PSTORE;
    const int coredump = PANIC_COREDUMP;
    const int devcd = PANIC_DEVCD;
    QTest::newRow("pstore: live and archived, newest first, console not a panic")
        << pstore << "pstore two" << QStringList{"2 Oops dmesg-efi-1", "1 Panic dmesg-ramoops-0"}
        << "Internal error: Oops: 96000005 [#1] SMP\n<4>[ 3.000000] Call trace:\n"
           "<4>[ 3.000001]  qcom_q6v5_crash+0x10/0x20";
    QTest::newRow("pstore: a record folder's dmesg.txt stands for its parts")
        << pstore << "pstore folder" << QStringList{"1 Panic dmesg.txt"}
        << "<0>[ 9.0] Kernel panic - not syncing: sysrq triggered crash";
    QTest::newRow("pstore: compressed, named, not decoded")
        << pstore << "pstore compressed" << QStringList{"1 dmesg dmesg-ramoops-0.enc.z"}
        << "Reason: compressed, not decoded\nTimestamp 13:5:9 \n 4-5-2024\nLength 64\n"
           "Panic Lines\n";
    QTest::newRow("pstore: panic line past the read bound")
        << pstore << "pstore huge" << QStringList{"1 Panic dmesg-ramoops-0"} << "\nPanic Lines\n";
    QTest::newRow("pstore: FIFO") << pstore << "pstore fifo" << QStringList() << "";
    QTest::newRow("pstore: record a link") << pstore << "pstore link" << QStringList() << "";
    QTest::newRow("pstore: folder a link") << pstore << "pstore folder link" << QStringList() << "";

    QTest::newRow("coredump: journal, newest first, core kept or not")
        << coredump << "journal" << QStringList{" 2  kivo SIGSEGV", " 1  modemd SIGABRT"}
        << "Program: kivo\nExecutable: /usr/bin/kivo\nPID: 4242 UID: 1000\nSignal: 11 SIGSEGV\n"
           "Timestamp 13:5:9 \n 4-5-2024\nCore: present\n "
           "core.kivo.1000.0123456789abcdef0123456789abcdef.4242.1714827909000000.zst\n"
           "From: journal";
    QTest::newRow("coredump: a core without its entry joins the journal's")
        << coredump << "journal plus core"
        << QStringList{" 3  camd SIGBUS", " 2  kivo SIGSEGV", " 1  modemd SIGABRT"}
        << "From: core file";
    QTest::newRow("coredump: no journal, the core's attributes")
        << coredump << "xattr" << QStringList{" 1  camd SIGBUS"}
        << "PID: 77 UID: 1001\nSignal: 7 SIGBUS\nTimestamp 13:40:0 \n 4-5-2024\nCore: present\n "
           "core.camd.1001.0123456789abcdef0123456789abcdef.77.1714830000000000.zst\n"
           "From: core file";
    QTest::newRow("coredump: no journal, no attributes, the core's name")
        << coredump << "core name" << QStringList{" 1  cam.d "}
        << "PID: 78 UID: 1002\nSignal: 0 \nTimestamp 13:56:40 \n 4-5-2024\nCore: present\n "
           "core.cam.d.1002.0123456789abcdef0123456789abcdef.78.1714831000000000.zst\n"
           "From: core file";
    QTest::newRow("coredump: truncated journal, the core still listed")
        << coredump << "truncated journal" << QStringList{" 1  camd SIGBUS"} << "";
    QTest::newRow("coredump: FIFO journal")
        << coredump << "fifo journal" << QStringList{" 1  camd SIGBUS"} << "";
    QTest::newRow("coredump: journal folder a link")
        << coredump << "journal link" << QStringList() << "";

    QTest::newRow("devcd: newest first by the collector's time")
        << devcd << "devcd two" << QStringList{"2 4080000.remoteproc", "1 wlan0"}
        << "Device: 4080000.remoteproc\nTimestamp 13:5:9\n4-5-2024\nLength 40\nDump Data\n"
           "7f 45 4c 46 01 01 \n00 01 02 03 04 05 \n06 07 08 09 0a 0b \n0c 0d 0e 0f 10 11 \n"
           "12 13 14 15 16 17 \n18 19 1a 1b 1c 1d \n";
    QTest::newRow("devcd: no notes")
        << devcd << "devcd bare" << QStringList{"1 unknown"} << "Length 3\nDump Data\n61 62 63 ";
    QTest::newRow("devcd: FIFO and link") << devcd << "devcd hostile" << QStringList() << "";
}

void tst_KIVO_Panic_Util::crashRecords()
{
    QFETCH(int, type);
    QFETCH(QString, fixture);
    QFETCH(QStringList, rows);
    QFETCH(QString, detailHas);

    QString skip;
    QVERIFY2(makeCrashFixture(m_root.root(), fixture, &skip), qPrintable(fixture));
    if (!skip.isEmpty()) {
        QSKIP(qPrintable(skip));
    }
    const PanicType panicType = static_cast<PanicType>(type);
    PanicNode *head = nullptr;
    uint8_t count = 99;
    StderrCapture capture;
    anyPanicSource(panicType)->read(&head, &count);
    QCOMPARE(panicRowTexts(panicType, head, count), rows);
    QCOMPARE(int(count), rows.size());
    if (!detailHas.isEmpty()) {
        QVERIFY2(panicDetailText(panicType, head).endsWith(detailHas),
                 qPrintable(panicDetailText(panicType, head)));
    }
    freePanicList(&head);
}

QTEST_GUILESS_MAIN(tst_KIVO_Panic_Util)
#include "tst_kivo_panic_util.moc"
