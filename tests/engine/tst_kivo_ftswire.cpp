// The FTS engine exchange as the bus carries it: bytes written by hand from the wire layout.
#include "KIVO_Engine.h"
#include "KIVO_FtsWire.h"
#include "KivoTestRoot.h"
#include "StderrCapture.h"

#include <QSignalSpy>
#include <QTest>

class tst_KIVO_FtsWire : public QObject {
    Q_OBJECT

private slots:
    void bitmapHalves_data();
    void bitmapHalves();
    void bitmapResponses_data();
    void bitmapResponses();
    void titlesResponse_data();
    void titlesResponse();
    void secondTitlesResponseReplacesFirst();
    void ignoredNames_data();
    void ignoredNames();
    void traces();

private:
    KivoTestRoot m_root;
};

namespace {

QByteArray titleBytes(const QString &title)
{
    // A QString in the stream: a 32-bit big-endian byte count, then UTF-16 big-endian.
    QByteArray bytes;
    const quint32 size = quint32(title.size() * 2);
    bytes.append(char(size >> 24)).append(char(size >> 16)).append(char(size >> 8));
    bytes.append(char(size));
    for (QChar c : title) {
        bytes.append(char(c.unicode() >> 8)).append(char(c.unicode() & 0xff));
    }
    return bytes;
}

} // namespace

void tst_KIVO_FtsWire::bitmapHalves_data()
{
    QTest::addColumn<quint64>("bitmap");
    QTest::addColumn<QByteArray>("wire"); // hi first, big-endian

    QTest::newRow("no title") << Q_UINT64_C(0) << QByteArray::fromHex("0000000000000000");
    QTest::newRow("bits 0 1 32 34") << Q_UINT64_C(0x500000003)
                                    << QByteArray::fromHex("0000000500000003");
    QTest::newRow("bits 63 and 0") << ((Q_UINT64_C(1) << 63) | 1)
                                   << QByteArray::fromHex("8000000000000001");
    QTest::newRow("bits 32 and 31") << Q_UINT64_C(0x180000000)
                                    << QByteArray::fromHex("0000000180000000");
    QTest::newRow("all 64") << ~Q_UINT64_C(0) << QByteArray::fromHex("ffffffffffffffff");
}

void tst_KIVO_FtsWire::bitmapHalves()
{
    QFETCH(quint64, bitmap);
    QFETCH(QByteArray, wire);
    QCOMPARE(KIVO_FtsWire::encodeBitmap(bitmap).toHex(), wire.toHex());
}

void tst_KIVO_FtsWire::bitmapResponses_data()
{
    QTest::addColumn<QByteArray>("name");
    QTest::addColumn<QByteArray>("data");
    QTest::addColumn<bool>("visibles");
    QTest::addColumn<quint64>("expected");

    QTest::newRow("favourites hi 5 lo 3") << QByteArray("getFavouritesRsp(QString, QString)")
                                         << QByteArray::fromHex("0000000500000003") << false
                                         << Q_UINT64_C(0x500000003);
    QTest::newRow("favourites: lo's sign does not spill")
        << QByteArray("getFavouritesRsp(QString, QString)")
        << QByteArray::fromHex("0000000180000000") << false << Q_UINT64_C(0x180000000);
    QTest::newRow("visibles: bits 63 and 0")
        << QByteArray("getVisiblesResponse(QString, Qstring)")
        << QByteArray::fromHex("8000000000000001") << true
        << ((Q_UINT64_C(1) << 63) | 1);
    QTest::newRow("truncated: four bytes read the low half as 0")
        << QByteArray("getFavouritesRsp(QString, QString)") << QByteArray::fromHex("00000007")
        << false << Q_UINT64_C(0x700000000);
    QTest::newRow("truncated: empty block reads 0")
        << QByteArray("getVisiblesResponse(QString, Qstring)") << QByteArray() << true
        << Q_UINT64_C(0);
}

void tst_KIVO_FtsWire::bitmapResponses()
{
    QFETCH(QByteArray, name);
    QFETCH(QByteArray, data);
    QFETCH(bool, visibles);
    QFETCH(quint64, expected);

    KIVO_Engine engine;
    engine.fabBitMap = 0xdead;
    engine.visBitMap = 0xdead;
    QSignalSpy favourites(&engine, &KIVO_Engine::showFavouritesResponse);
    QSignalSpy visiblesSpy(&engine, &KIVO_Engine::showVislbiesResponse);
    engine.slotFTSEngineMessage(name, data);
    QCOMPARE(visibles ? engine.visBitMap : engine.fabBitMap, expected);
    QCOMPARE(visibles ? engine.fabBitMap : engine.visBitMap, quint64(0xdead));
    QCOMPARE(favourites.count(), visibles ? 0 : 1);
    QCOMPARE(visiblesSpy.count(), visibles ? 1 : 0);
}

void tst_KIVO_FtsWire::titlesResponse_data()
{
    QTest::addColumn<QByteArray>("data");
    QTest::addColumn<int>("count");
    QTest::addColumn<QStringList>("titles");

    QTest::newRow("valid: two titles")
        << (QByteArray::fromHex("02") + titleBytes("Serving Cell") + titleBytes("Neighbours"))
        << 2 << QStringList{"Serving Cell", "Neighbours"};
    QTest::newRow("valid: count 0") << QByteArray::fromHex("00") << 0 << QStringList();
    QByteArray many = QByteArray::fromHex("c8");
    QStringList manyTitles;
    for (int i = 0; i < 200; ++i) {
        manyTitles << QStringLiteral("T%1").arg(i);
        many += titleBytes(manyTitles.last());
    }
    QTest::newRow("valid: count byte 0xC8 is 200") << many << 200 << manyTitles;
    QTest::newRow("truncated: fewer titles than the count")
        << (QByteArray::fromHex("03") + titleBytes("Only")) << 3
        << QStringList{"Only", QString(), QString()};
    QTest::newRow("truncated: no count byte") << QByteArray() << 0 << QStringList();
    QTest::newRow("corrupt: string length beyond the block")
        << QByteArray::fromHex("01 7fffff00 0041") << 1 << QStringList{QString()};
}

void tst_KIVO_FtsWire::titlesResponse()
{
    QFETCH(QByteArray, data);
    QFETCH(int, count);
    QFETCH(QStringList, titles);

    KIVO_Engine engine;
    QSignalSpy favourites(&engine, &KIVO_Engine::showFavouritesResponse);
    QSignalSpy visibles(&engine, &KIVO_Engine::showVislbiesResponse);
    engine.slotFTSEngineMessage("getTiltlesRsp(QString, QString)", data);
    QCOMPARE(int(engine.titlesNum), count);
    QVERIFY(engine.titlesArray != nullptr);
    for (int i = 0; i < count; ++i) {
        QCOMPARE(engine.titlesArray[i], titles.at(i));
    }
    QCOMPARE(favourites.count() + visibles.count(), 0);
}

void tst_KIVO_FtsWire::secondTitlesResponseReplacesFirst()
{
    KIVO_Engine engine;
    engine.slotFTSEngineMessage("getTiltlesRsp(QString, QString)",
                                QByteArray::fromHex("02") + titleBytes("A") + titleBytes("B"));
    engine.slotFTSEngineMessage("getTiltlesRsp(QString, QString)",
                                QByteArray::fromHex("01") + titleBytes("C"));
    QCOMPARE(int(engine.titlesNum), 1);
    QCOMPARE(engine.titlesArray[0], QStringLiteral("C"));
}

void tst_KIVO_FtsWire::ignoredNames_data()
{
    QTest::addColumn<QByteArray>("name");
    QTest::newRow("visibles with a capital S")
        << QByteArray("getVisiblesResponse(QString, QString)");
    QTest::newRow("favourites without the blank") << QByteArray("getFavouritesRsp(QString,QString)");
    QTest::newRow("titles spelt right") << QByteArray("getTitlesRsp(QString, QString)");
    QTest::newRow("a request name") << QByteArray("getFavourites(QString,QString)");
    QTest::newRow("empty") << QByteArray();
}

void tst_KIVO_FtsWire::ignoredNames()
{
    QFETCH(QByteArray, name);
    KIVO_Engine engine;
    QSignalSpy favourites(&engine, &KIVO_Engine::showFavouritesResponse);
    QSignalSpy visibles(&engine, &KIVO_Engine::showVislbiesResponse);
    engine.slotFTSEngineMessage(name, QByteArray::fromHex("0100000000000001"));
    QCOMPARE(engine.fabBitMap, quint64(0));
    QCOMPARE(engine.visBitMap, quint64(0));
    QCOMPARE(int(engine.titlesNum), 0);
    QCOMPARE(favourites.count() + visibles.count(), 0);
}

void tst_KIVO_FtsWire::traces()
{
    KIVO_Engine engine;
    StderrCapture capture;
    engine.slotFTSEngineMessage("getFavouritesRsp(QString, QString)",
                                QByteArray::fromHex("0000000500000003"));
    QCOMPARE(capture.text(), QByteArray("Received data from channel "
                                        "getFavouritesRsp(QString, QString)"));
    capture.clear();
    engine.slotFTSEngineMessage("getTiltlesRsp(QString, QString)", QByteArray::fromHex("00"));
    QVERIFY(capture.text().startsWith("Received data from channel getTiltlesRsp(QString, "
                                      "QString)Allocating 0 titles "));
}

QTEST_GUILESS_MAIN(tst_KIVO_FtsWire)
#include "tst_kivo_ftswire.moc"
