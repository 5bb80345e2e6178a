#include "KIVO_Panic_Util.h"

#include "KivoTestRoot.h"
#include "StderrCapture.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <QtTest>

#include <cstdlib>
#include <ctime>
#include <memory>

// Every fixture below is laid out byte by byte from the documented block formats: magic, block
// size, eight bytes not interpreted, panic id, timestamp, three version bytes, filler, data
// length, data; multi-byte fields big-endian.
namespace {

QByteArray be16(quint16 value)
{
    const char bytes[] = {char(value >> 8), char(value & 0xff)};
    return QByteArray(bytes, sizeof bytes);
}

QByteArray be32(quint32 value)
{
    const char bytes[] = {char(value >> 24), char((value >> 16) & 0xff), char((value >> 8) & 0xff),
                          char(value & 0xff)};
    return QByteArray(bytes, sizeof bytes);
}

// A BP block: header of 43 bytes, the length at offset 39; padded with zeros up to `size`.
QByteArray bpBlock(quint16 size, quint32 id, quint32 time, quint32 length, const QByteArray &data,
                   const QByteArray &magic = QByteArray::fromHex("b5c7"))
{
    QByteArray block = magic + be16(size) + QByteArray(8, '\0') + be32(id) + be32(time) +
                       QByteArray::fromHex("010203") + QByteArray(16, '\0') + be32(length) + data;
    if (block.size() < size) {
        block += QByteArray(size - block.size(), '\0');
    }
    return block;
}

// A QUIRN block: header of 71 bytes, the length at offset 67.
QByteArray quirnBlock(quint16 size, quint32 id, quint32 time, quint32 length,
                      const QByteArray &data, const QByteArray &magic = QByteArray::fromHex("b5c7"))
{
    QByteArray block = magic + be16(size) + QByteArray(8, '\0') + be32(id) + be32(time) +
                       QByteArray::fromHex("0a0b0c") + QByteArray(44, '\0') + be32(length) + data;
    if (block.size() < size) {
        block += QByteArray(size - block.size(), '\0');
    }
    return block;
}

QByteArray counting(int n)
{
    QByteArray bytes;
    for (int i = 0; i < n; ++i) {
        bytes += char(i);
    }
    return bytes;
}

// "number:id:time:version:length:kept data", as a person would read the record.
QString describe(const PanicRecord &record)
{
    const int kept = int(std::min<quint32>(record.length, 36));
    return QStringLiteral("%1:%2:%3:%4:%5:%6")
        .arg(record.panicNum)
        .arg(record.panicId, 0, 16)
        .arg(record.timestamp)
        .arg(QString::fromLatin1(
            QByteArray(reinterpret_cast<const char *>(record.version), 3).toHex()))
        .arg(record.length)
        .arg(QString::fromLatin1(
            QByteArray(reinterpret_cast<const char *>(record.data), kept).toHex()));
}

QStringList describeList(const PanicNode *head)
{
    QStringList records;
    for (const PanicNode *node = head; node; node = node->next) {
        records << describe(*static_cast<const PanicRecord *>(node->data));
    }
    return records;
}

// "number|module id|module name|file name".
QStringList describeApList(const PanicNode *head)
{
    QStringList records;
    for (const PanicNode *node = head; node; node = node->next) {
        const auto *record = static_cast<const ApDumpRecord *>(node->data);
        records << QStringLiteral("%1|%2|%3|%4")
                       .arg(record->panicNum)
                       .arg(record->moduleId, 0, 16)
                       .arg(QString::fromLocal8Bit(record->moduleName))
                       .arg(QString::fromLocal8Bit(record->fileName));
    }
    return records;
}

const QByteArray s_swapTrace = "{1} KIVO_Panic_Util:L\tChip is low Word Order\nReturn";

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

const QByteArray s_readEnd = "{1} KIVO_Panic_Util:L\tError in reading\n";
const QByteArray s_dataEnd = "{1} KIVO_Panic_Util:L\tError in reading panic data\n";

void setModified(const QString &path, qint64 secs)
{
    QFile file(path);
    QVERIFY(file.open(QIODevice::ReadWrite));
    QVERIFY(
        file.setFileTime(QDateTime::fromSecsSinceEpoch(secs), QFileDevice::FileModificationTime));
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

    void swapToHostOrder_data();
    void swapToHostOrder();
    void bpExampleBlock();
    void readOneFile_data();
    void readOneFile();
    void readPair_data();
    void readPair();
    void moreThan255Blocks();

    void readApPanics_data();
    void readApPanics();
    void moduleTableLimit();
    void dumpAgeOrder_data();
    void dumpAgeOrder();

    void readKernelPanic_data();
    void readKernelPanic();
    void kernelPartitionMissing();
    void kernelCommandQuoting_data();
    void kernelCommandQuoting();
    void readersUnderHostileRoot_data();
    void readersUnderHostileRoot();

    void findPanicNode_data();
    void findPanicNode();

private:
    void writeFile(const QString &devicePath, const QByteArray &content, qint64 mtime = 0);
    std::unique_ptr<KivoTestRoot> m_root;
};

void tst_KIVO_Panic_Util::initTestCase()
{
    m_root = std::make_unique<KivoTestRoot>();
    QVERIFY(m_root->isValid());
    // Local time is UTC unless a case says otherwise.
    qputenv("TZ", "UTC");
    tzset();
    const quint16 probe = 1;
    if (*reinterpret_cast<const uchar *>(&probe) != 1) {
        QSKIP("The traces pinned here are those of a little-endian host");
    }
}

void tst_KIVO_Panic_Util::init()
{
    for (const char *dir : {"/veklocal", "/usr", "/dev"}) {
        QDir(m_root->path(QString::fromLatin1(dir))).removeRecursively();
    }
}

void tst_KIVO_Panic_Util::writeFile(const QString &devicePath, const QByteArray &content,
                                    qint64 mtime)
{
    m_root->writeFile(devicePath, content);
    if (mtime != 0) {
        setModified(m_root->path(devicePath), mtime);
    }
}

void tst_KIVO_Panic_Util::swapToHostOrder_data()
{
    QTest::addColumn<QByteArray>("field");
    QTest::addColumn<int>("size");
    QTest::addColumn<QByteArray>("converted");
    QTest::addColumn<QByteArray>("trace");

    QTest::newRow("block size 0x0040")
        << QByteArray::fromHex("0040") << 2 << QByteArray::fromHex("4000") << s_swapTrace;
    QTest::newRow("panic id") << QByteArray::fromHex("000001a2") << 4
                              << QByteArray::fromHex("a2010000") << s_swapTrace;
    QTest::newRow("size 0") << QByteArray::fromHex("0102") << 0 << QByteArray::fromHex("0102")
                            << QByteArray();
    QTest::newRow("size 3") << QByteArray::fromHex("010203") << 3 << QByteArray::fromHex("010203")
                            << QByteArray();
    QTest::newRow("size 8") << QByteArray::fromHex("0102030405060708") << 8
                            << QByteArray::fromHex("0102030405060708") << QByteArray();
}

void tst_KIVO_Panic_Util::swapToHostOrder()
{
    QFETCH(QByteArray, field);
    QFETCH(int, size);
    QFETCH(QByteArray, converted);
    QFETCH(QByteArray, trace);

    StderrCapture capture;
    ::swapToHostOrder(field.data(), size_t(size));
    QCOMPARE(field.toHex(), converted.toHex());
    QCOMPARE(normalized(capture.text(), false), trace);

    capture.clear();
    ::swapToHostOrder(nullptr, 4);
    QCOMPARE(capture.text(), QByteArray());
}

// The 48-byte block: one record, and every trace of the pass in order.
void tst_KIVO_Panic_Util::bpExampleBlock()
{
    writeFile(QStringLiteral("/veklocal/panic/bp_panic.log1"),
              QByteArray::fromHex("b5c7 0030 0000000000000000 000001a2 00000000 010203"
                                  "00000000000000000000000000000000 00000005 1020304050"));
    PanicList list;
    StderrCapture capture;
    readBpPanics(&list.head, &list.count);

    QCOMPARE(list.count, uint8_t(1));
    QCOMPARE(describeList(list.head), QStringList{QStringLiteral("1:1a2:0:010203:5:1020304050")});
    QByteArray expected = "Unable to read /veklocal/panic/bp_panic.log2";
    for (int i = 0; i < 5; ++i) {
        expected += s_swapTrace; // magic, size, length, time, id
    }
    expected += s_readEnd;
    QCOMPARE(normalized(capture.text(), false), expected);
}

void tst_KIVO_Panic_Util::readOneFile_data()
{
    QTest::addColumn<int>("type");
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<QStringList>("records"); // from the head
    QTest::addColumn<QByteArray>("trace");    // without the field conversions

    const QByteArray noLog2 = "Unable to read /veklocal/panic/bp_panic.log2";
    const QByteArray noB = "Unable to read /veklocal/panic/qupanic_block.b";
    const QByteArray data5 = QByteArray::fromHex("1020304050");

    QTest::newRow("valid: data length 100, next block by its size")
        << int(PANIC_BP)
        << bpBlock(148, 0x100, 1000, 100, counting(100)) + bpBlock(48, 0x200, 2000, 5, data5)
        << QStringList{"2:200:2000:010203:5:1020304050",
                       "1:100:1000:010203:100:" + QString::fromLatin1(counting(36).toHex())}
        << noLog2 + s_readEnd;
    QTest::newRow("valid: wrong magic still listed")
        << int(PANIC_BP) << bpBlock(48, 0x1a2, 0, 5, data5, QByteArray::fromHex("aabb"))
        << QStringList{"1:1a2:0:010203:5:1020304050"}
        << noLog2 + "Wrong Header : 0xaabb" + s_readEnd;
    QTest::newRow("valid: data length 0") << int(PANIC_BP) << bpBlock(44, 0x7, 9, 0, QByteArray())
                                          << QStringList{"1:7:9:010203:0:"} << noLog2 + s_readEnd;
    QTest::newRow("valid: quirn block")
        << int(PANIC_QUIRN) << quirnBlock(80, 0x3c, 5, 5, data5)
        << QStringList{"1:3c:5:0a0b0c:5:1020304050"} << noB + s_readEnd;
    QTest::newRow("valid: quirn data length 100")
        << int(PANIC_QUIRN)
        << quirnBlock(172, 0x1, 1, 100, counting(100)) + quirnBlock(76, 0x2, 2, 5, data5)
        << QStringList{"2:2:2:0a0b0c:5:1020304050",
                       "1:1:1:0a0b0c:100:" + QString::fromLatin1(counting(36).toHex())}
        << noB + s_readEnd;
    QTest::newRow("valid: quirn magic 0A 0B still listed")
        << int(PANIC_QUIRN) << quirnBlock(76, 0x3c, 5, 5, data5, QByteArray::fromHex("0a0b"))
        << QStringList{"1:3c:5:0a0b0c:5:1020304050"}
        << noB + "Header of this block is wrong :ab!!!" + s_readEnd;

    QTest::newRow("truncated: empty file")
        << int(PANIC_BP) << QByteArray() << QStringList() << noLog2 + s_readEnd;
    QTest::newRow("truncated: inside a header")
        << int(PANIC_BP) << bpBlock(48, 0x1, 1, 5, data5).left(20) << QStringList()
        << noLog2 + s_readEnd;
    QTest::newRow("truncated: inside the data of the third block")
        << int(PANIC_BP)
        << bpBlock(48, 0x1, 1, 5, data5) + bpBlock(48, 0x2, 2, 5, data5) +
               bpBlock(60, 0x3, 3, 12, counting(12)).left(43 + 7)
        << QStringList{"2:2:2:010203:5:1020304050", "1:1:1:010203:5:1020304050"}
        << noLog2 + s_dataEnd;
    QTest::newRow("truncated: quirn inside the data")
        << int(PANIC_QUIRN) << quirnBlock(80, 0x1, 1, 9, counting(9)).left(75) << QStringList()
        << noB + s_dataEnd;

    // A size below header plus data would make the skip a step back: the pass ends after the
    // record, and the block behind it is not read.
    QTest::newRow("corrupt: block size smaller than the header")
        << int(PANIC_BP) << bpBlock(16, 0x1, 1, 5, data5) + bpBlock(48, 0x2, 2, 5, data5)
        << QStringList{"1:1:1:010203:5:1020304050"} << noLog2;
    QTest::newRow("corrupt: block size zero in quirn")
        << int(PANIC_QUIRN) << quirnBlock(0, 0x1, 1, 5, data5) + quirnBlock(76, 0x2, 2, 5, data5)
        << QStringList{"1:1:1:0a0b0c:5:1020304050"} << noB;
}

void tst_KIVO_Panic_Util::readOneFile()
{
    QFETCH(int, type);
    QFETCH(QByteArray, content);
    QFETCH(QStringList, records);
    QFETCH(QByteArray, trace);

    const bool bp = type == PANIC_BP;
    writeFile(QString::fromLatin1(bp ? PANIC_BP_FILE_1 : PANIC_QUIRN_FILE_A), content);
    PanicList list;
    StderrCapture capture;
    if (bp) {
        readBpPanics(&list.head, &list.count);
    } else {
        readQuirnPanics(&list.head, &list.count);
    }
    QCOMPARE(describeList(list.head), records);
    QCOMPARE(int(list.count), records.size());
    QCOMPARE(normalized(capture.text()), trace);
}

void tst_KIVO_Panic_Util::readPair_data()
{
    QTest::addColumn<int>("type");
    QTest::addColumn<QByteArray>("first"); // .log1 or .a; empty: absent
    QTest::addColumn<qint64>("firstTime");
    QTest::addColumn<QByteArray>("second"); // .log2 or .b
    QTest::addColumn<qint64>("secondTime");
    QTest::addColumn<QStringList>("numbersAndIds"); // "number:id" from the head
    QTest::addColumn<QByteArray>("trace");

    const QByteArray d = QByteArray::fromHex("01");
    const QByteArray bp1 = bpBlock(44, 0x11, 0, 1, d) + bpBlock(44, 0x12, 0, 1, d);
    const QByteArray bp2 = bpBlock(44, 0x21, 0, 1, d) + bpBlock(44, 0x22, 0, 1, d);
    const QByteArray qa = quirnBlock(72, 0x11, 0, 1, d);
    const QByteArray qb = quirnBlock(72, 0x21, 0, 1, d) + quirnBlock(72, 0x22, 0, 1, d);
    const qint64 t = 1700000000;

    QTest::newRow("bp: log1 older")
        << int(PANIC_BP) << bp1 << t << bp2 << t + 60 << QStringList{"4:22", "3:21", "2:12", "1:11"}
        << s_readEnd + s_readEnd;
    QTest::newRow("bp: log1 newer")
        << int(PANIC_BP) << bp1 << t + 60 << bp2 << t << QStringList{"4:12", "3:11", "2:22", "1:21"}
        << s_readEnd + s_readEnd;
    QTest::newRow("bp: equal times")
        << int(PANIC_BP) << bp1 << t << bp2 << t << QStringList{"4:22", "3:21", "2:12", "1:11"}
        << s_readEnd + s_readEnd;
    QTest::newRow("bp: only log2")
        << int(PANIC_BP) << QByteArray() << t << bp2 << t << QStringList{"2:22", "1:21"}
        << "Unable to read /veklocal/panic/bp_panic.log1" + s_readEnd;
    QTest::newRow("bp: neither") << int(PANIC_BP) << QByteArray() << t << QByteArray() << t
                                 << QStringList()
                                 << QByteArray("Unable to read /veklocal/panic/bp_panic.log1"
                                               "Unable to read /veklocal/panic/bp_panic.log2");
    QTest::newRow("bp: older file ends inside a block, newer still read")
        << int(PANIC_BP) << bp1 + bpBlock(44, 0x13, 0, 9, d).left(45) << t << bp2 << t + 60
        << QStringList{"4:22", "3:21", "2:12", "1:11"} << s_dataEnd + s_readEnd;
    QTest::newRow("bp: newer file ends inside a block")
        << int(PANIC_BP) << bp1 << t << bp2 + bpBlock(44, 0x23, 0, 9, d).left(45) << t + 60
        << QStringList{"4:22", "3:21", "2:12", "1:11"} << s_readEnd + s_dataEnd;
    QTest::newRow("quirn: .a newer")
        << int(PANIC_QUIRN) << qa << t + 1 << qb << t << QStringList{"3:11", "2:22", "1:21"}
        << s_readEnd + s_readEnd;
    QTest::newRow("quirn: equal times")
        << int(PANIC_QUIRN) << qa << t << qb << t << QStringList{"3:22", "2:21", "1:11"}
        << s_readEnd + s_readEnd;
    QTest::newRow("quirn: only .b")
        << int(PANIC_QUIRN) << QByteArray() << t << qb << t << QStringList{"2:22", "1:21"}
        << "Unable to read /veklocal/panic/qupanic_block.a" + s_readEnd;
    QTest::newRow("quirn: neither")
        << int(PANIC_QUIRN) << QByteArray() << t << QByteArray() << t << QStringList()
        << QByteArray("Unable to read /veklocal/panic/qupanic_block.a"
                      "Unable to read /veklocal/panic/qupanic_block.b");
}

void tst_KIVO_Panic_Util::readPair()
{
    QFETCH(int, type);
    QFETCH(QByteArray, first);
    QFETCH(qint64, firstTime);
    QFETCH(QByteArray, second);
    QFETCH(qint64, secondTime);
    QFETCH(QStringList, numbersAndIds);
    QFETCH(QByteArray, trace);

    const bool bp = type == PANIC_BP;
    if (!first.isEmpty()) {
        writeFile(QString::fromLatin1(bp ? PANIC_BP_FILE_1 : PANIC_QUIRN_FILE_A), first, firstTime);
    }
    if (!second.isEmpty()) {
        writeFile(QString::fromLatin1(bp ? PANIC_BP_FILE_2 : PANIC_QUIRN_FILE_B), second,
                  secondTime);
    }
    PanicList list;
    StderrCapture capture;
    if (bp) {
        readBpPanics(&list.head, &list.count);
    } else {
        readQuirnPanics(&list.head, &list.count);
    }
    QStringList found;
    for (const PanicNode *node = list.head; node; node = node->next) {
        const auto *record = static_cast<const PanicRecord *>(node->data);
        found << QStringLiteral("%1:%2").arg(record->panicNum).arg(record->panicId, 0, 16);
        // The list is linked both ways.
        QCOMPARE(node->prev ? node->prev->next : list.head, node);
    }
    QCOMPARE(found, numbersAndIds);
    QCOMPARE(int(list.count), numbersAndIds.size());
    QCOMPARE(normalized(capture.text()), trace);
}

// The 8-bit count numbers at most 255 records; the rest of the source is not listed.
void tst_KIVO_Panic_Util::moreThan255Blocks()
{
    QByteArray older;
    for (int i = 0; i < 200; ++i) {
        older += bpBlock(44, quint32(i + 1), 0, 1, QByteArray::fromHex("aa"));
    }
    QByteArray newer;
    for (int i = 0; i < 100; ++i) {
        newer += bpBlock(44, quint32(1000 + i), 0, 1, QByteArray::fromHex("bb"));
    }
    writeFile(QString::fromLatin1(PANIC_BP_FILE_1), older, 1700000000);
    writeFile(QString::fromLatin1(PANIC_BP_FILE_2), newer, 1700000100);

    PanicList list;
    StderrCapture capture;
    readBpPanics(&list.head, &list.count);
    QCOMPARE(int(list.count), 255);
    int nodes = 0;
    for (const PanicNode *node = list.head; node; node = node->next) {
        ++nodes;
    }
    QCOMPARE(nodes, 255);
    const auto *head = static_cast<const PanicRecord *>(list.head->data);
    QCOMPARE(head->panicNum, 255u);
    QCOMPARE(head->panicId, 1000u + 54u);
}

void tst_KIVO_Panic_Util::readApPanics_data()
{
    QTest::addColumn<QStringList>("files");   // oldest first; empty: no directory
    QTest::addColumn<QByteArray>("table");    // null: no table file
    QTest::addColumn<QStringList>("records"); // from the head
    QTest::addColumn<int>("count");
    QTest::addColumn<QByteArray>("trace");

    const QByteArray table = "# module table\n\n1a=messaging\n2f=abcdefghijklmnopqrstuvwxyz\n";
    const QByteArray tableTrace =
        "module id=1a,module name=messagingmodule id=2f,module name=abcdefghijklmnopqrstuvwx";

    QTest::newRow("table hit and miss")
        << QStringList{"core.messaging.17", "core.browser.3"} << table
        << QStringList{"2|82100|browser|core.browser.3", "1|1a|messaging|core.messaging.17"} << 2
        << tableTrace + "Tracing module - messagingTracing module - browser";
    QTest::newRow("core.dump skipped, its number unused")
        << QStringList{"core.messaging.17", "core.dump", "core.browser.3"} << table
        << QStringList{"3|82100|browser|core.browser.3", "1|1a|messaging|core.messaging.17"} << 3
        << tableTrace +
               "Tracing module - messagingUnexpected filename core.dumpTracing module - browser";
    QTest::newRow("filter: mycore.x.y passes, others not")
        << QStringList{"mycore.x.y", "readme.txt", "dump.1"} << table
        << QStringList{"1|82100|x|mycore.x.y"} << 1 << tableTrace + "Tracing module - x";
    QTest::newRow("name cut to 24 characters")
        << QStringList{"core.abcdefghijklmnopqrstuvwxyz.9"} << table
        << QStringList{"1|2f|abcdefghijklmnopqrstuvwx|core.abcdefghijklmnopqrstuvwxyz.9"} << 1
        << tableTrace + "Tracing module - abcdefghijklmnopqrstuvwx";
    QTest::newRow("entry line without =: id 5, empty name")
        << QStringList{"core..7"} << QByteArray("5\n") << QStringList{"1|5||core..7"} << 1
        << QByteArray("module id=5,module name=Tracing module - ");
    QTest::newRow("no table: every dump unknown")
        << QStringList{"core.messaging.17"} << QByteArray()
        << QStringList{"1|82100|messaging|core.messaging.17"} << 1
        << QByteArray("No fatal panic config file or fail to open itTracing module - messaging");

    const QString longName = "core." + QString(248, 'm') + ".1";
    QTest::newRow("hostile names")
        << QStringList{"core.$(touch pwned).1", "core.new\nline.2", longName, "core.a b;'c\".3"}
        << QByteArray("1=$(touch\n")
        << QStringList{"4|82100|a b;'c\"|core.a b;'c\".3",
                       "3|82100|" + QString(24, 'm') + "|" + longName,
                       "2|82100|new\nline|core.new\nline.2",
                       "1|82100|$(touch pwned)|core.$(touch pwned).1"}
        << 4
        << "module id=1,module name=$(touchTracing module - $(touch pwned)"
           "Tracing module - new\nlineTracing module - " +
               QByteArray(24, 'm') + "Tracing module - a b;'c\"";

    // Names and table lines are data, never a format: the directives come out as they stand.
    QTest::newRow("format directives")
        << QStringList{"core.%s%n%x.1"} << QByteArray("1=%n%s%p\n")
        << QStringList{"1|82100|%s%n%x|core.%s%n%x.1"} << 1
        << QByteArray("module id=1,module name=%n%s%pTracing module - %s%n%x");

    QTest::newRow("empty directory") << QStringList{""} << table << QStringList() << 0
                                     << tableTrace + "{1} KIVO_Panic_Util:L\tNo valid dump file\n";
    QTest::newRow("no directory")
        << QStringList() << table << QStringList() << 0
        << tableTrace + "{1} KIVO_Panic_Util:L\tRead dir failed - No such file or directory\n";
}

void tst_KIVO_Panic_Util::readApPanics()
{
    QFETCH(QStringList, files);
    QFETCH(QByteArray, table);
    QFETCH(QStringList, records);
    QFETCH(int, count);
    QFETCH(QByteArray, trace);

    QVERIFY(QDir::setCurrent(m_root->root()));
    QDir().mkpath(m_root->path(QString::fromLatin1(PANIC_DUMP_DIR)));
    if (files.isEmpty()) {
        QDir(m_root->path(QStringLiteral("/veklocal"))).removeRecursively();
    }
    qint64 mtime = 1700000000;
    for (const QString &name : files) {
        if (!name.isEmpty()) {
            writeFile(QString::fromLatin1(PANIC_DUMP_DIR) + '/' + name, "ELF", mtime);
            mtime += 10;
        }
    }
    if (!table.isNull()) {
        writeFile(QString::fromLatin1(PANIC_MODULE_TABLE), table);
    }

    PanicList list;
    StderrCapture capture;
    ::readApPanics(&list.head, &list.count);
    QCOMPARE(describeApList(list.head), records);
    QCOMPARE(int(list.count), count);
    QCOMPARE(normalized(capture.text()), trace);
    // No name reached a shell.
    QVERIFY(!QFile::exists(QStringLiteral("pwned")));
}

void tst_KIVO_Panic_Util::moduleTableLimit()
{
    QByteArray table;
    for (int i = 0; i < 300; ++i) {
        table += QByteArray::number(0x100 + i, 16) + "=mod" + QByteArray::number(i) + '\n';
    }
    writeFile(QString::fromLatin1(PANIC_MODULE_TABLE), table);
    writeFile(QString::fromLatin1(PANIC_DUMP_DIR) + "/core.mod254.1", "ELF", 1700000000);
    writeFile(QString::fromLatin1(PANIC_DUMP_DIR) + "/core.mod255.2", "ELF", 1700000010);

    PanicList list;
    StderrCapture capture;
    ::readApPanics(&list.head, &list.count);
    QCOMPARE(int(coreModuleTable.count), 255);
    QCOMPARE(describeApList(list.head),
             (QStringList{"2|82100|mod255|core.mod255.2", "1|1fe|mod254|core.mod254.1"}));
    const QByteArray trace = capture.text();
    QVERIFY(trace.contains("module id=1fe,module name=mod254Tracing"));
    QVERIFY(!trace.contains("module name=mod255"));
}

void tst_KIVO_Panic_Util::dumpAgeOrder_data()
{
    QTest::addColumn<QStringList>("files");
    QTest::addColumn<QList<int>>("ages");     // seconds after a fixed time, per file
    QTest::addColumn<QStringList>("records"); // "number|file name", from the head

    QTest::newRow("age order against name order")
        << QStringList{"core.a.1", "core.b.2", "core.c.3", "core.d.4"} << QList<int>{30, 10, 40, 20}
        << QStringList{"4|core.c.3", "3|core.a.1", "2|core.d.4", "1|core.b.2"};
    QTest::newRow("equal times sort by name")
        << QStringList{"core.b.2", "core.a.1", "core.c.3"} << QList<int>{5, 5, 0}
        << QStringList{"3|core.b.2", "2|core.a.1", "1|core.c.3"};

    // 300 dumps, file i aged 7i mod 300: the oldest 255 (ages 0 to 254) are numbered by age.
    QStringList files;
    QList<int> ages;
    QStringList records;
    for (int i = 0; i < 300; ++i) {
        files << QStringLiteral("core.m.%1").arg(i);
        ages << (7 * i) % 300;
    }
    for (int age = 254; age >= 0; --age) {
        records << QStringLiteral("%1|%2").arg(age + 1).arg(files.at(ages.indexOf(age)));
    }
    QTest::newRow("300 dumps: the oldest 255") << files << ages << records;
}

void tst_KIVO_Panic_Util::dumpAgeOrder()
{
    QFETCH(QStringList, files);
    QFETCH(QList<int>, ages);
    QFETCH(QStringList, records);

    for (int i = 0; i < files.size(); ++i) {
        writeFile(QString::fromLatin1(PANIC_DUMP_DIR) + '/' + files.at(i), "ELF",
                  1700000000 + ages.at(i));
    }

    PanicList list;
    StderrCapture capture;
    ::readApPanics(&list.head, &list.count);
    QStringList listed;
    for (const PanicNode *node = list.head; node; node = node->next) {
        const auto *record = static_cast<const ApDumpRecord *>(node->data);
        listed << QStringLiteral("%1|%2")
                      .arg(record->panicNum)
                      .arg(QString::fromLocal8Bit(record->fileName));
    }
    QCOMPARE(listed, records);
    QCOMPARE(int(list.count), int(records.size()));
}

void tst_KIVO_Panic_Util::readKernelPanic_data()
{
    QTest::addColumn<QByteArray>("report");
    QTest::addColumn<qint64>("timestamp"); // -1: no record
    QTest::addColumn<QByteArray>("trace");

    const QByteArray before = "<0>[  812.305117] Kernel panic - not syncing: Fatal exception\n"
                              "<0>[  812.305201] CPU: 0 PID: 1 Comm: init Tainted: G   D\n";
    const QByteArray noPanic = "EnterNo new Kernel panic - -1";

    QTest::newRow("valid: time line")
        << before + "Current Time = 2024-05-04 13:05:09\n"
        << qint64(1714827909) << QByteArray("Enteryear=124,mon=4,day=4,hour=13,min=5,sec=9");
    QTest::newRow("valid: marker inside a line, no line end")
        << QByteArray("<6>[ 0.1] Current Time = 2024-05-04 13:05:09") << qint64(1714827909)
        << QByteArray("Enteryear=124,mon=4,day=4,hour=13,min=5,sec=9");
    QTest::newRow("valid: only the first time line counts")
        << QByteArray("Current Time = 2024-05-04 13:05:09\nCurrent Time = 2023-01-01 00:00:00\n")
        << qint64(1714827909) << QByteArray("Enteryear=124,mon=4,day=4,hour=13,min=5,sec=9");
    QTest::newRow("valid: letters for the seconds")
        << QByteArray("Current Time = 2024-05-04 13:05:xx\n") << qint64(1714827900)
        << QByteArray("Enteryear=124,mon=4,day=4,hour=13,min=5,sec=0");
    QTest::newRow("truncated: line ends after the month")
        << QByteArray("Current Time = 2024-05") << qint64(1714435200)
        << QByteArray("Enteryear=124,mon=4,day=0,hour=0,min=0,sec=0");
    QTest::newRow("empty partition") << QByteArray("") << qint64(-1) << noPanic;
    QTest::newRow("no marker") << before << qint64(-1) << noPanic;
    QTest::newRow("marker misspelt")
        << QByteArray("Current time = 2024-05-04 13:05:09\n") << qint64(-1) << noPanic;
}

void tst_KIVO_Panic_Util::readKernelPanic()
{
    QFETCH(QByteArray, report);
    QFETCH(qint64, timestamp);
    QFETCH(QByteArray, trace);

    writeFile(QString::fromLatin1(PANIC_KERNEL_PARTITION), report);
    PanicList list;
    StderrCapture capture;
    ::readKernelPanic(&list.head);
    QCOMPARE(capture.text(), trace);
    QCOMPARE(list.count, uint8_t(77)); // left alone
    if (timestamp < 0) {
        QVERIFY(!list.head);
        return;
    }
    QVERIFY(list.head);
    QVERIFY(!list.head->next);
    const auto *record = static_cast<const KernelPanicRecord *>(list.head->data);
    QCOMPARE(qint64(record->timestamp), timestamp);
    QCOMPARE(record->panicId, 0x82000u);
}

void tst_KIVO_Panic_Util::kernelPartitionMissing()
{
    PanicList list;
    StderrCapture capture;
    ::readKernelPanic(&list.head);
    QVERIFY(!list.head);
    // cat's own complaint stays out of KIVO's traces.
    QCOMPARE(capture.text(), QByteArray("EnterNo new Kernel panic - -1"));
}

void tst_KIVO_Panic_Util::kernelCommandQuoting_data()
{
    QTest::addColumn<QString>("rootName");

    QTest::newRow("blanks") << QStringLiteral("a root  with blanks");
    QTest::newRow("single quote") << QStringLiteral("it's");
    QTest::newRow("quote at the end") << QStringLiteral("root'");
    QTest::newRow("command substitution") << QStringLiteral("$(touch pwned)");
    QTest::newRow("backquotes") << QStringLiteral("`touch pwned`");
    QTest::newRow("all at once") << QStringLiteral(
        "it's a $(touch pwned) `touch pwned`;touch pwned '");
    QTest::newRow("trailing slash") << QStringLiteral("plain/");
}

// The root reaches the shell as one quoted word: the report is found and nothing is run.
void tst_KIVO_Panic_Util::kernelCommandQuoting()
{
    QFETCH(QString, rootName);

    const QString root = m_root->root() + "/hostile/" + rootName;
    QDir(m_root->root() + "/hostile").removeRecursively();
    QVERIFY(QDir().mkpath(root + "/dev/mtdblock"));
    QFile report(root + "/dev/mtdblock/kpanic");
    QVERIFY(report.open(QIODevice::WriteOnly));
    report.write("Current Time = 2024-05-04 13:05:09\n");
    report.close();
    QVERIFY(QDir::setCurrent(m_root->root() + "/hostile"));

    qputenv("KIVO_ROOT", root.toLocal8Bit());
    PanicList list;
    {
        StderrCapture capture;
        ::readKernelPanic(&list.head);
    }
    qputenv("KIVO_ROOT", m_root->root().toLocal8Bit());
    QVERIFY(QDir::setCurrent(m_root->root()));

    QVERIFY(list.head);
    QCOMPARE(qint64(static_cast<const KernelPanicRecord *>(list.head->data)->timestamp),
             qint64(1714827909));
    QVERIFY(!QFile::exists(m_root->root() + "/hostile/pwned"));
}

void tst_KIVO_Panic_Util::readersUnderHostileRoot_data()
{
    kernelCommandQuoting_data();
}

// The file readers under the same roots: every file is found under the root, nothing is run.
void tst_KIVO_Panic_Util::readersUnderHostileRoot()
{
    QFETCH(QString, rootName);

    const QString root = m_root->root() + "/hostile/" + rootName;
    QDir(m_root->root() + "/hostile").removeRecursively();
    const auto put = [&root](const QString &devicePath, const QByteArray &content) {
        QDir().mkpath(QFileInfo(root + devicePath).absolutePath());
        QFile file(root + devicePath);
        return file.open(QIODevice::WriteOnly) && file.write(content) == content.size();
    };
    QVERIFY(put(QStringLiteral("/veklocal/panic/bp_panic.log2"),
                bpBlock(48, 0x1a2, 0, 5, QByteArray::fromHex("1020304050"))));
    QVERIFY(put(QStringLiteral("/veklocal/panic/qupanic_block.a"),
                quirnBlock(76, 0x7001, 0, 5, QByteArray::fromHex("1020304050"))));
    QVERIFY(put(QStringLiteral("/veklocal/apr_app_dump/core.messaging.1"), "ELF"));
    QVERIFY(put(QStringLiteral("/usr/data_resource/apr/coredump_table.cfg"), "1a=messaging\n"));
    QVERIFY(QDir::setCurrent(m_root->root() + "/hostile"));

    qputenv("KIVO_ROOT", root.toLocal8Bit());
    PanicList bp;
    PanicList quirn;
    PanicList ap;
    {
        StderrCapture capture;
        ::readBpPanics(&bp.head, &bp.count);
        ::readQuirnPanics(&quirn.head, &quirn.count);
        ::readApPanics(&ap.head, &ap.count);
    }
    qputenv("KIVO_ROOT", m_root->root().toLocal8Bit());
    QVERIFY(QDir::setCurrent(m_root->root()));

    QCOMPARE(describeList(bp.head), QStringList{QStringLiteral("1:1a2:0:010203:5:1020304050")});
    QCOMPARE(describeList(quirn.head), QStringList{QStringLiteral("1:7001:0:0a0b0c:5:1020304050")});
    QCOMPARE(describeApList(ap.head), QStringList{"1|1a|messaging|core.messaging.1"});
    QVERIFY(!QFile::exists(m_root->root() + "/hostile/pwned"));
}

void tst_KIVO_Panic_Util::findPanicNode_data()
{
    QTest::addColumn<int>("type");
    QTest::addColumn<QList<int>>("numbers"); // from the head
    QTest::addColumn<int>("start");          // index of the node the search starts at
    QTest::addColumn<int>("target");
    QTest::addColumn<int>("found"); // index of the node found, -1: none

    QTest::newRow("bp: row 2 of three from the head")
        << int(PANIC_BP) << QList<int>{3, 2, 1} << 0 << 2 << 1;
    QTest::newRow("bp: back from 2 to 3") << int(PANIC_BP) << QList<int>{3, 2, 1} << 1 << 3 << 0;
    QTest::newRow("bp: back from the tail") << int(PANIC_BP) << QList<int>{3, 2, 1} << 2 << 3 << 0;
    QTest::newRow("quirn: where it stands")
        << int(PANIC_QUIRN) << QList<int>{3, 2, 1} << 1 << 2 << 1;
    QTest::newRow("ap: gap above") << int(PANIC_AP) << QList<int>{5, 3, 1} << 0 << 4 << -1;
    QTest::newRow("ap: gap below") << int(PANIC_AP) << QList<int>{5, 3, 1} << 2 << 2 << -1;
    QTest::newRow("ap: count above the records")
        << int(PANIC_AP) << QList<int>{3, 1} << 1 << 4 << -1;
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
    for (auto it = numbers.crbegin(); it != numbers.crend(); ++it) {
        void *record = nullptr;
        if (type == PANIC_AP) {
            auto *ap = static_cast<ApDumpRecord *>(std::calloc(1, sizeof(ApDumpRecord)));
            ap->panicNum = quint32(*it);
            record = ap;
        } else if (type == PANIC_KERNEL) {
            record = std::calloc(1, sizeof(KernelPanicRecord));
        } else {
            auto *bp = static_cast<PanicRecord *>(std::calloc(1, sizeof(PanicRecord)));
            bp->panicNum = quint32(*it);
            record = bp;
        }
        QVERIFY(addPanicNode(&list.head, record));
    }
    QList<PanicNode *> nodes;
    for (PanicNode *node = list.head; node; node = node->next) {
        nodes << node;
    }
    PanicNode *result = ::findPanicNode(PanicType(type), nodes.at(start), quint32(target));
    QCOMPARE(result, found < 0 ? nullptr : nodes.at(found));
}

QTEST_GUILESS_MAIN(tst_KIVO_Panic_Util)
#include "tst_kivo_panic_util.moc"
