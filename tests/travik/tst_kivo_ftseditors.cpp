// The favourites and visibles editors against an FTS engine on the test's private bus: the
// rows they show and what Back sends, byte for byte.
#include "FtsPeer.h"
#include "KIVO_Favourites.h"
#include "KIVO_FtsBitmap.h"
#include "KIVO_Visibles.h"
#include "KivoTestRoot.h"
#include "PopupWatcher.h"
#include "StderrCapture.h"

#include <memory>

namespace {

// An editor over `titles` titles named "Screen 0", "Screen 1", ...
std::unique_ptr<PlKbMainWidget> makeEditor(bool visibles, int titles)
{
    QStringList names;
    for (int i = 0; i < titles; ++i) {
        names << QStringLiteral("Screen %1").arg(i);
    }
    kivo_eng->slotFTSEngineMessage("getTiltlesRsp(QString, QString)", FtsPeer::titlesBlock(names));
    if (visibles) {
        return std::make_unique<KIVO_Visibles>(nullptr, nullptr);
    }
    return std::make_unique<KIVO_Favourites>(nullptr, nullptr);
}

} // namespace

class tst_KIVO_FtsEditors : public QObject {
    Q_OBJECT

private slots:
    void visiblesShiftAtTheEnds();
    void showOperation_data();
    void showOperation();
    void commit_data();
    void commit();
    void secondAnswerReplacesRows();

private:
    KivoTestRoot m_root;
};

void tst_KIVO_FtsEditors::visiblesShiftAtTheEnds()
{
    // Shifts of 64 and of a negative count are undefined in C++: no title keeps no bit, 64
    // titles and more keep them all.
    QCOMPARE(titleBitsShifted(~Q_UINT64_C(0), 0), Q_UINT64_C(0));
    QCOMPARE(titleBitsShifted(Q_UINT64_C(0x8000000000000001), 70), Q_UINT64_C(0x8000000000000001));
}

void tst_KIVO_FtsEditors::showOperation_data()
{
    QTest::addColumn<bool>("visibles");
    QTest::addColumn<quint64>("cached");
    QTest::addColumn<QByteArrayList>("requests");

    // Cached: the rows fill inside the constructor and nothing is sent.
    QTest::newRow("favourites cached") << false << Q_UINT64_C(0x5) << QByteArrayList{};
    QTest::newRow("favourites uncached")
        << false << Q_UINT64_C(0) << QByteArrayList{"getFavourites(QString,QString) "};
    QTest::newRow("visibles cached") << true << Q_UINT64_C(0x5) << QByteArrayList{};
    QTest::newRow("visibles uncached")
        << true << Q_UINT64_C(0) << QByteArrayList{"getVisibles(QString,QString) "};
}

void tst_KIVO_FtsEditors::showOperation()
{
    QFETCH(bool, visibles);
    QFETCH(quint64, cached);

    EngineScope scope;
    FtsPeer peer;
    peer.answering = false;
    (visibles ? scope.engine.visBitMap : scope.engine.fabBitMap) = cached;
    auto editor = makeEditor(visibles, 3);
    QCOMPARE(rowsOf(editor.get()).size(), cached ? 3 : 0);
    QCOMPARE(checkedRows(editor.get()), (cached ? QList<int>{0, 2} : QList<int>{}));
    editor->show();
    QCOMPARE(editor->windowTitle(), visibles ? "Edit Visibles" : "Edit Favourites");
    QCOMPARE(softKeysOf(editor.get()), "Select|Back");
    QTEST(peer.requestsFrom(0), "requests");
    if (cached) {
        return;
    }
    // Select and Back on a list the FTS engine never filled: nothing to toggle or send.
    press(editor.get(), {Qt::Key_F1, Qt::Key_F2});
    QVERIFY(!editor->isVisible());
    QTEST(peer.requestsFrom(0), "requests");
}

void tst_KIVO_FtsEditors::commit_data()
{
    QTest::addColumn<bool>("visibles");
    QTest::addColumn<int>("titles");
    QTest::addColumn<QByteArray>("reported"); // the FTS engine's answer, hi then lo
    QTest::addColumn<QList<int>>("checked");  // rows checked once filled
    QTest::addColumn<QList<int>>("toggles");
    QTest::addColumn<QByteArray>("sent");  // hex of the set request's block; empty: none
    QTest::addColumn<QByteArray>("trace"); // what Back traces, where pinned

    QList<int> first64;
    for (int i = 0; i < 64; ++i) {
        first64 << i;
    }
    QTest::newRow("favourites: rows 0 and 2 toggled on")
        << false << 5 << QByteArray::fromHex("0000000000000002") << QList<int>{1}
        << QList<int>{0, 2} << QByteArray("0000000000000007")
        << QByteArray("slot Back \r\nsetBitMap favourite true, index = 0\r\n"
                      "setBitMap favourite true, index = 1\r\n"
                      "setBitMap favourite true, index = 2\r\n"
                      "[KIVO] fabBitMap to set 7 \r\n[KIVO] KIVO_Engine::setFavourites\r\n"
                      "[KIVO] setFavourites hiValue = 0, loValue = 7 \r\n");
    QTest::newRow("favourites: untouched")
        << false << 5 << QByteArray::fromHex("0000000000000012") << QList<int>{1, 4} << QList<int>{}
        << QByteArray()
        << QByteArray("slot Back \r\nsetBitMap favourite true, index = 1\r\n"
                      "setBitMap favourite true, index = 4\r\n[KIVO] fabBitMap is not changed");
    QTest::newRow("favourites: reported bits above the titles are dropped")
        << false << 3 << QByteArray::fromHex("0000000100000005") << QList<int>{0, 2} << QList<int>{}
        << QByteArray("0000000000000005") << QByteArray();
    QTest::newRow("favourites: all unchecked sends 0")
        << false << 2 << QByteArray::fromHex("0000000000000003") << QList<int>{0, 1}
        << QList<int>{0, 1} << QByteArray("0000000000000000") << QByteArray();
    QTest::newRow("favourites: rows from 64 on have no bit")
        << false << 70 << QByteArray::fromHex("ffffffffffffffff") << first64 << QList<int>{64, 69}
        << QByteArray() << QByteArray();
    QTest::newRow("visibles, 10 titles: bits above the titles decide nothing")
        << true << 10 << QByteArray::fromHex("0000000000001001") << QList<int>{0} << QList<int>{}
        << QByteArray() << QByteArray();
    QTest::newRow("visibles, 10 titles: row 9 decides")
        << true << 10 << QByteArray::fromHex("0000000000001001") << QList<int>{0} << QList<int>{9}
        << QByteArray("0000000000000201")
        << QByteArray("setBitMap visible true, index = 0\r\n"
                      "setBitMap visible true, index = 9\r\n"
                      "[UI] visValidBitMap == 8040000000000000 \r\n"
                      "[UI] oldVisValidBitMap == 40000000000000 \r\n"
                      "[KIVO] visBitMap set 201 \r\n[KIVO] KIVO_Engine::setVisibles \r\n"
                      "[KIVO] setvisibles hiValue =0, loValue = 201 \r\n");
    QTest::newRow("visibles, 64 titles: bit 63 decides")
        << true << 64 << QByteArray::fromHex("8000000000000001") << QList<int>{0, 63}
        << QList<int>{63} << QByteArray("0000000000000001") << QByteArray();
    QTest::newRow("visibles, 70 titles: rows from 64 on have no bit")
        << true << 70 << QByteArray::fromHex("0000000000000001") << QList<int>{0} << QList<int>{65}
        << QByteArray()
        << QByteArray("setBitMap visible true, index = 0\r\n"
                      "setBitMap visible true, index = 65\r\n"
                      "[UI] visValidBitMap == 1 \r\n"
                      "[UI] oldVisValidBitMap == 1 \r\n"
                      "[KIVO] visBitMap is not changed");
}

void tst_KIVO_FtsEditors::commit()
{
    QFETCH(bool, visibles);
    QFETCH(int, titles);
    QFETCH(QByteArray, sent);
    QFETCH(QByteArray, trace);

    EngineScope scope;
    FtsPeer peer;
    QFETCH(QByteArray, reported);
    (visibles ? peer.visibles : peer.favourites) = reported;
    PopupWatcher popups;
    auto editor = makeEditor(visibles, titles);
    editor->show();
    QTRY_COMPARE(rowsOf(editor.get()).size(), titles);
    QCOMPARE(rowsOf(editor.get()).last(), QStringLiteral("Screen %1").arg(titles - 1));
    QTEST(checkedRows(editor.get()), "checked");
    QFETCH(QList<int>, toggles);
    for (int row : toggles) {
        editor->findChild<PlListBox *>()->setCurrentRow(row);
        QTest::keyClick(editor.get(), Qt::Key_F1);
    }

    const int before = peer.names.size();
    StderrCapture capture;
    QTest::keyClick(editor.get(), Qt::Key_F2);
    QVERIFY(!editor->isVisible());
    const QByteArray name =
        visibles ? "setVisibles(QStrihg,QString) " : "setFavourites(QString,QString) ";
    QCOMPARE(peer.requestsFrom(before),
             sent.isEmpty() ? QByteArrayList{} : QByteArrayList{name + sent});
    const QString notice = visibles ? "Visibles Changed" : "Favourites Changed";
    QCOMPARE(popups.seen().size(), sent.isEmpty() ? 0 : 1);
    QCOMPARE(popups.seen().value(0).text, sent.isEmpty() ? QString() : notice);
    if (!trace.isEmpty()) {
        QCOMPARE(capture.text(), trace);
    }
}

void tst_KIVO_FtsEditors::secondAnswerReplacesRows()
{
    EngineScope scope;
    FtsPeer peer;
    peer.favourites = QByteArray::fromHex("0000000000000001");
    auto editor = makeEditor(false, 3);
    editor->show();
    QTRY_COMPARE(rowsOf(editor.get()).size(), 3);
    editor->findChild<PlListBox *>()->setCurrentRow(2);

    FtsPeer::send("getFavouritesRsp(QString, QString)", QByteArray::fromHex("0000000000000006"));
    QTRY_COMPARE(checkedRows(editor.get()), (QList<int>{1, 2}));
    QCOMPARE(rowsOf(editor.get()).size(), 3);
    QCOMPARE(editor->findChild<PlListBox *>()->currentItem(), 2);
}

QTEST_MAIN(tst_KIVO_FtsEditors)
#include "tst_kivo_ftseditors.moc"
