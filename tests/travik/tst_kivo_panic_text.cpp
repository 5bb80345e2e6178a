#include "KIVO_PanicText.h"

#include <QtTest>

#include <cstdlib>
#include <cstring>
#include <ctime>

namespace {

// Times of the cases: 13:05:09 on 4 May 2024 in UTC, and the same wall time in Central Europe
// (summer time, two hours ahead).
constexpr quint32 s_mayUtc = 1714827909;
constexpr quint32 s_mayCest = 1714820709;
const char *const s_cet = "CET-1CEST,M3.5.0,M10.5.0/3";

PanicRecord bpRecord(quint32 num, quint32 id, quint32 time, quint32 length, const QByteArray &data,
                     const char *versionHex = "010203")
{
    PanicRecord record;
    std::memset(&record, 0, sizeof record);
    record.panicNum = num;
    record.panicId = id;
    record.timestamp = time;
    record.length = length;
    std::memcpy(record.data, data.constData(), std::min<size_t>(data.size(), sizeof record.data));
    const QByteArray version = QByteArray::fromHex(versionHex);
    std::memcpy(record.version, version.constData(), std::min<size_t>(version.size(), 3));
    return record;
}

ApDumpRecord apRecord(quint32 num, quint32 id, time_t time, const char *module)
{
    ApDumpRecord record;
    std::memset(&record, 0, sizeof record);
    record.panicNum = num;
    record.moduleId = id;
    record.timestamp = time;
    std::strcpy(record.moduleName, module);
    record.nameLength = quint32(std::strlen(module));
    return record;
}

template <typename Record> QByteArray bytesOf(const Record &record)
{
    return QByteArray(reinterpret_cast<const char *>(&record), sizeof(Record));
}

// A list built from copies of the records; the first record ends up at the tail.
PanicNode *listOf(const QList<QByteArray> &records)
{
    PanicNode *head = nullptr;
    for (const QByteArray &record : records) {
        void *copy = std::malloc(size_t(record.size()));
        std::memcpy(copy, record.constData(), size_t(record.size()));
        addPanicNode(&head, copy);
    }
    return head;
}

QByteArray counting(int n)
{
    QByteArray bytes;
    for (int i = 0; i < n; ++i) {
        bytes += char(i * 0x11);
    }
    return bytes;
}

void setTimeZone(const char *zone)
{
    qputenv("TZ", zone);
    tzset();
}

} // namespace

class tst_KIVO_PanicText : public QObject {
    Q_OBJECT

private slots:
    void init();
    void rowTexts_data();
    void rowTexts();
    void detailTexts_data();
    void detailTexts();
};

void tst_KIVO_PanicText::init()
{
    setTimeZone("UTC");
}

void tst_KIVO_PanicText::rowTexts_data()
{
    QTest::addColumn<int>("type");
    QTest::addColumn<QList<QByteArray>>("records");
    QTest::addColumn<int>("count");
    QTest::addColumn<QStringList>("rows");

    const QByteArray d = QByteArray::fromHex("00");
    const QList<QByteArray> three = {bytesOf(bpRecord(1, 0x1a0, 0, 1, d, "000901")),
                                     bytesOf(bpRecord(2, 0xdead, 0, 1, d, "10ff00")),
                                     bytesOf(bpRecord(3, 0x1a2, 0, 1, d, "010203"))};
    const QList<QByteArray> gapped = {bytesOf(apRecord(1, 0x1a, 0, "messaging")),
                                      bytesOf(apRecord(3, 0x82100, 0, "browser"))};

    QTest::newRow("bp: three records from 3 down")
        << int(PANIC_BP) << three << 3 << QStringList{"3 1a2 01.02", "2 dead 10.ff", "1 1a0 00.09"};
    QTest::newRow("bp: count below the records")
        << int(PANIC_BP) << three << 1 << QStringList{"3 1a2 01.02"};
    QTest::newRow("bp: count 0") << int(PANIC_BP) << three << 0 << QStringList();
    QTest::newRow("bp: empty list") << int(PANIC_BP) << QList<QByteArray>() << 3 << QStringList();
    QTest::newRow("ap: count above the records stops at the tail")
        << int(PANIC_AP) << gapped << 4 << QStringList{" 3  82100 ", " 1  1a "};
    QTest::newRow("kernel: one row, count 0")
        << int(PANIC_KERNEL) << QList{bytesOf(KernelPanicRecord{0, 0x82000})} << 0
        << QStringList{" 82000 "};
    QTest::newRow("unknown type") << 4 << three << 3 << QStringList();
}

void tst_KIVO_PanicText::rowTexts()
{
    QFETCH(int, type);
    QFETCH(QList<QByteArray>, records);
    QFETCH(int, count);
    QFETCH(QStringList, rows);

    PanicNode *list = listOf(records);
    const QStringList made = panicRowTexts(PanicType(type), list, uint8_t(count));
    freePanicList(&list);
    QCOMPARE(made, rows);
}

void tst_KIVO_PanicText::detailTexts_data()
{
    QTest::addColumn<int>("type");
    QTest::addColumn<QList<QByteArray>>("records");
    QTest::addColumn<QByteArray>("zone");
    QTest::addColumn<QString>("text");

    const PanicRecord example = bpRecord(3, 0x1a2, s_mayUtc, 8, counting(8));
    const QString exampleText = QStringLiteral("Panic Num: 3\nPanic Ver: 01:02\nPanic Id: 1a2\n"
                                               "Timestamp 13:5:9\n4-5-2024\nLength 8\n"
                                               "Panic Data\n00 11 22 33 44 55 \n66 77 ");

    QTest::newRow("bp: nine lines")
        << int(PANIC_BP) << QList{bytesOf(example)} << QByteArray("UTC") << exampleText;
    QTest::newRow("bp: local time in Central Europe")
        << int(PANIC_BP) << QList{bytesOf(bpRecord(3, 0x1a2, s_mayCest, 8, counting(8)))}
        << QByteArray(s_cet) << exampleText;
    QTest::newRow("ap") << int(PANIC_AP)
                        << QList{bytesOf(apRecord(2, 0x82100, s_mayUtc, "browser"))}
                        << QByteArray("UTC")
                        << QStringLiteral("Panic Num: 2\nCore Module Name:\n browser\n"
                                          "Panic Id: 82100\nTimestamp 13:5:9 \n 4-5-2024\n"
                                          "Length 7");
    QTest::newRow("kernel") << int(PANIC_KERNEL)
                            << QList{bytesOf(KernelPanicRecord{time_t(s_mayCest), 0x82000})}
                            << QByteArray(s_cet) << QStringLiteral("Timestamp 13:5:9 \n 4-5-2024");
    QTest::newRow("unknown type") << 9 << QList{bytesOf(example)} << QByteArray("UTC") << QString();
}

void tst_KIVO_PanicText::detailTexts()
{
    QFETCH(int, type);
    QFETCH(QList<QByteArray>, records);
    QFETCH(QByteArray, zone);
    QFETCH(QString, text);

    setTimeZone(zone.constData());
    PanicNode *list = listOf(records);
    const QString made = panicDetailText(PanicType(type), list);
    freePanicList(&list);
    QCOMPARE(made, text);
}

QTEST_GUILESS_MAIN(tst_KIVO_PanicText)
#include "tst_kivo_panic_text.moc"
