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
    void answer_data();
    void answer();
    void tracedName_data();
    void tracedName();

private:
    KivoTestRoot m_root;
};

namespace {

const quint64 s_untouched = 0xdead;
const QByteArray s_favourites = "getFavouritesRsp(QString, QString)";
const QByteArray s_visibles = "getVisiblesResponse(QString, Qstring)";
const QByteArray s_titles = "getTiltlesRsp(QString, QString)";

// A QString in the stream: a 32-bit big-endian byte count, then UTF-16 big-endian.
QByteArray titleBytes(const QByteArray &ascii)
{
    QByteArray bytes = QByteArray(3, '\0') + char(ascii.size() * 2);
    for (char c : ascii) {
        bytes += QByteArray(1, '\0') + c;
    }
    return bytes;
}

} // namespace

void tst_KIVO_FtsWire::bitmapHalves_data()
{
    QTest::addColumn<quint64>("bitmap");
    QTest::addColumn<QByteArray>("wire"); // hi first, big-endian

    QTest::newRow("bits 63 and 0")
        << ((Q_UINT64_C(1) << 63) | 1) << QByteArray::fromHex("8000000000000001");
    QTest::newRow("bits 32 and 31")
        << Q_UINT64_C(0x180000000) << QByteArray::fromHex("0000000180000000");
}

void tst_KIVO_FtsWire::bitmapHalves()
{
    QFETCH(quint64, bitmap);
    QFETCH(QByteArray, wire);
    QCOMPARE(KIVO_FtsWire::encodeBitmap(bitmap).toHex(), wire.toHex());
}

void tst_KIVO_FtsWire::answer_data()
{
    QTest::addColumn<QByteArray>("name");
    QTest::addColumn<QByteArray>("data");
    QTest::addColumn<quint64>("favourites"); // each signal goes with its bitmap
    QTest::addColumn<quint64>("visibles");
    QTest::addColumn<QStringList>("titles");

    const quint64 no = s_untouched;
    const QStringList none;
    const QStringList old{"Old", "Older"};
    QTest::newRow("valid: favourites, lo's sign does not spill")
        << s_favourites << QByteArray::fromHex("0000000180000000") << Q_UINT64_C(0x180000000) << no
        << old;
    QTest::newRow("valid: visibles bits 63 and 0")
        << s_visibles << QByteArray::fromHex("8000000000000001") << no
        << ((Q_UINT64_C(1) << 63) | 1) << old;
    QTest::newRow("valid: two titles")
        << s_titles << QByteArray::fromHex("02") + titleBytes("Serving Cell") + titleBytes("Cells")
        << no << no << QStringList{"Serving Cell", "Cells"};
    QTest::newRow("valid: count 0") << s_titles << QByteArray::fromHex("00") << no << no << none;
    QTest::newRow("valid: count byte 0xC8 is 200")
        << s_titles << QByteArray::fromHex("c8") + titleBytes("T").repeated(200) << no << no
        << QStringList(200, QStringLiteral("T"));
    QTest::newRow("truncated: empty visibles read 0")
        << s_visibles << QByteArray() << no << quint64(0) << old;
    QTest::newRow("truncated: no count byte") << s_titles << QByteArray() << no << no << none;

    const QByteArray bits = QByteArray::fromHex("0100000000000001");
    QTest::newRow("ignored: visibles with a capital S")
        << QByteArray("getVisiblesResponse(QString, QString)") << bits << no << no << old;
    QTest::newRow("ignored: favourites without the blank")
        << QByteArray("getFavouritesRsp(QString,QString)") << bits << no << no << old;
    QTest::newRow("ignored: titles spelt right")
        << QByteArray("getTitlesRsp(QString, QString)") << bits << no << no << old;
    QTest::newRow("ignored: empty") << QByteArray() << bits << no << no << old;
}

// Each answer replaces only its own value, signals only its own screen, and is traced.
void tst_KIVO_FtsWire::answer()
{
    QFETCH(QByteArray, name);
    QFETCH(QByteArray, data);
    QFETCH(quint64, favourites);
    QFETCH(quint64, visibles);
    QFETCH(QStringList, titles);

    KIVO_Engine engine;
    engine.fabBitMap = s_untouched;
    engine.visBitMap = s_untouched;
    engine.slotFTSEngineMessage(s_titles, QByteArray::fromHex("02") + titleBytes("Old") +
                                              titleBytes("Older"));
    QSignalSpy favouritesShown(&engine, &KIVO_Engine::showFavouritesResponse);
    QSignalSpy visiblesShown(&engine, &KIVO_Engine::showVislbiesResponse);
    StderrCapture capture;
    engine.slotFTSEngineMessage(name, data);
    QCOMPARE(engine.fabBitMap, favourites);
    QCOMPARE(engine.visBitMap, visibles);
    QCOMPARE(favouritesShown.count(), favourites == s_untouched ? 0 : 1);
    QCOMPARE(visiblesShown.count(), visibles == s_untouched ? 0 : 1);
    QCOMPARE(int(engine.titlesNum), titles.size());
    for (int i = 0; i < titles.size(); ++i) {
        QCOMPARE(engine.titlesArray[i], titles.at(i));
    }
    const QByteArray trace = "Received data from channel " + name;
    if (name == s_titles) {
        const QByteArray allocating =
            "Allocating " + QByteArray::number(titles.size()) + " titles ";
        QVERIFY2(capture.text().startsWith(trace + allocating), capture.text().constData());
    } else {
        QCOMPARE(capture.text(), trace);
    }
}

void tst_KIVO_FtsWire::tracedName_data()
{
    QTest::addColumn<QByteArray>("name");
    QTest::addColumn<QByteArray>("shown");

    QTest::newRow("terminal title and colour") << QByteArray("\x1b]0;owned\x07\x1b[31mred")
                                               << QByteArray("\\x1B]0;owned\\x07\\x1B[31mred");
    // UTF-8 text stays; a C1 control (CSI as U+009B) and a stray byte do not.
    QTest::newRow("UTF-8 of 2 to 4 bytes kept, C1 and stray bytes escaped")
        << QByteArray("caf\xc3\xa9 \xe2\x82\xac\xf0\x9f\x98\x80 \xc2\x9b"
                      "2J \xff")
        << QByteArray("caf\xc3\xa9 \xe2\x82\xac\xf0\x9f\x98\x80 \\xC2\\x9B2J \\xFF");
}

// A name from any sender reaches the terminal only as printable text.
void tst_KIVO_FtsWire::tracedName()
{
    QFETCH(QByteArray, name);
    QFETCH(QByteArray, shown);

    KIVO_Engine engine;
    StderrCapture capture;
    engine.slotFTSEngineMessage(name, QByteArray());
    QCOMPARE(capture.text(), "Received data from channel " + shown);
}

QTEST_GUILESS_MAIN(tst_KIVO_FtsWire)
#include "tst_kivo_ftswire.moc"
