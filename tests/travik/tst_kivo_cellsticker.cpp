// The cell sticker end to end against a telephony peer on the private bus: the screen's keys
// and the engine's outcome events reaching the sticker machine, the requests byte for byte, the
// messages and notices, and what the settings file holds afterwards. Every transition of the
// machine is a row of tst_kivo_sticker; here one row for each way in and out.
#include "KIVO_CellSticker.h"
#include "KIVO_Settings.h"
#include "KivoTestRoot.h"
#include "PopupWatcher.h"
#include "ScreenHelpers.h"
#include "TelephonyPeer.h"

#include <QSettings>

namespace {

constexpr quint16 kStickerEvent = 0x0F03;

QStringList titlesAndTexts(const PopupWatcher &watcher)
{
    QStringList seen;
    for (const PopupSeen &popup : watcher.seen()) {
        seen << popup.title << popup.text;
    }
    return seen;
}

} // namespace

class tst_KIVO_CellSticker : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanup();
    void sticker_data();
    void sticker();
    void modeDialog_data();
    void modeDialog();

private:
    // Writes the settings file, starts the engine on it as main does and opens the screen.
    void start(const QByteArray &ini);
    QString settled() const;
    QSettings file() const
    {
        return QSettings(m_root.path(KivoTestRoot::defaultIniPath()), QSettings::IniFormat);
    }

    KivoTestRoot m_root;
    TelephonyPeer m_peer;
    std::unique_ptr<KIVO_CellSticker> m_screen;
};

void tst_KIVO_CellSticker::initTestCase()
{
    m_peer.answer({1}); // Register
    QVERIFY(m_peer.claimName());
}

void tst_KIVO_CellSticker::start(const QByteArray &ini)
{
    m_root.writeFile(KivoTestRoot::defaultIniPath(), ini);
    const int registered = m_peer.calls(QStringLiteral("Register")).size();
    startKivoEngine(kivoPopupPresenter());
    // Registration goes on in the background; events are taken once it is answered.
    QTRY_VERIFY(m_peer.calls(QStringLiteral("Register")).size() > registered);
    m_screen = std::make_unique<KIVO_CellSticker>(nullptr, "Active Features");
    m_screen->show();
}

void tst_KIVO_CellSticker::cleanup()
{
    m_screen.reset();
    stopKivoEngine();
}

void tst_KIVO_CellSticker::sticker_data()
{
    QTest::addColumn<QByteArray>("ini");
    QTest::addColumn<QString>("typed");        // the ARFCN entered before "Set", empty for none
    QTest::addColumn<QVariantList>("answers"); // CheckArfcn, SetCellStickerMode
    QTest::addColumn<QByteArray>("event");     // raw data of a 0x0F03 event after "Set"
    QTest::addColumn<QStringList>("popups");   // title, text, ...
    QTest::addColumn<QVariantList>("sent");    // SetCellStickerMode requests
    QTest::addColumn<QByteArray>("request");   // the request record afterwards
    QTest::addColumn<QString>("after");        // see settled()

    const QByteArray on = "[KIVO]\ncell_sticker_mode=1\nstoredArfcn=40\n";
    const QByteArray start62("\x01\x3e\x00\x00\x00", 5);
    const QByteArray stop62("\x00\x3e\x00\x00\x00", 5);
    const QString info = QStringLiteral("Cell Sticker Information");
    const QStringList asked{info, "Set sticker on ARFCN 62 ?"};
    const QVariantList ok{QVariant::fromValue<uchar>(0), 0};
    const QStringList wrong = asked + QStringList{info, "Wrong ARFCN entered"};
    const QStringList stopped{info, "Cell id: 62\nCell Sticker Stopped"};
    const QStringList barred{info, "Cell id: 62\nCell Sticker Stopped\nCell Barred"};

    QTest::newRow("sticker not set") << QByteArray("[KIVO]\ncell_sticker_mode=0\n") << "" << ok
                                     << QByteArray() << QStringList{info, "Sticker not set"}
                                     << QVariantList() << QByteArray(5, 0) << "0 -1 none 0 0";
    QTest::newRow("wrong ARFCN") << on << "62" << QVariantList{QVariant::fromValue<uchar>(3), 0}
                                 << QByteArray() << wrong << QVariantList() << start62
                                 << "0 40 40 1 1";
    QTest::newRow("refused") << on << "62" << QVariantList{QVariant::fromValue<uchar>(0), 4}
                             << QByteArray()
                             << (asked + QStringList{"KIVO: TAPI Error", "Invalid Parameter!"})
                             << QVariantList{start62} << stop62 << "0 40 40 0 1";

    QTest::newRow("6 mode entered") << on << "62" << ok << QByteArray("\x06\x00\x00\x00", 4)
                                    << (asked + QStringList{info, "Cell id: 62\nMode Entered"})
                                    << QVariantList{start62} << start62 << "2 62 62 1 1";
    QTest::newRow("2 barred, stop accepted")
        << on << "62" << ok << QByteArray("\x02\x00\x00\x00", 4) << asked + barred
        << QVariantList{start62, stop62} << stop62 << "0 40 40 0 0";
    // With the mode off, "Set" stops the sticker the screen loaded.
    QTest::newRow("stop, then 7")
        << QByteArray("[KIVO]\ncell_sticker_mode=0\nstoredArfcn=62\nCell%20Sticker%20State=2\n")
        << "" << ok << QByteArray("\x07\x00\x00\x00", 4) << stopped << QVariantList{stop62}
        << QByteArray("\x00\xff\xff\xff\xff", 5) << "0 62 62 0 0";
}

void tst_KIVO_CellSticker::sticker()
{
    QFETCH(QByteArray, ini);
    QFETCH(QString, typed);
    QFETCH(QVariantList, answers);
    QFETCH(QByteArray, event);
    QFETCH(QStringList, popups);

    m_peer.answerMethod("CheckArfcn", {answers.takeFirst()});
    m_peer.answerMethod("SetCellStickerMode", {answers.takeFirst()});
    const int before = m_peer.calls("SetCellStickerMode").size();
    PopupWatcher watcher;
    start(ini);
    if (!typed.isEmpty()) {
        enterArfcn(m_screen.get(), typed);
    }
    QTest::keyClick(m_screen.get(), Qt::Key_F1);
    if (!event.isEmpty()) {
        m_peer.emitEvent(kStickerEvent, event);
        QVERIFY(watcher.waitForCount(popups.size() / 2));
    }

    QCOMPARE(titlesAndTexts(watcher), popups);
    QTEST(m_peer.calls("SetCellStickerMode").mid(before), "sent");
    QTEST(QByteArray(reinterpret_cast<const char *>(&kivo_eng->stickerRequest), 5), "request");
    QCOMPARE(file().value("KIVO/Cell Sticker State", 0).toInt(), kivo_eng->cellStickerState);
    QTEST(settled(), "after");
}

// "state arfcn storedArfcn mode mode": the engine's sticker state and ARFCN, the ARFCN in the
// file, "cell_sticker_mode" in the engine and in the file.
QString tst_KIVO_CellSticker::settled() const
{
    return QStringLiteral("%1 %2 %3 %4 %5")
        .arg(kivo_eng->cellStickerState)
        .arg(kivo_eng->arfcn)
        .arg(file().value("KIVO/storedArfcn", "none").toString())
        .arg(kivo_eng->cell_sticker_mode)
        .arg(file().value("KIVO/cell_sticker_mode").toString());
}

void tst_KIVO_CellSticker::modeDialog_data()
{
    QTest::addColumn<QByteArray>("before"); // "cell_sticker_mode" in the file
    QTest::addColumn<int>("choice");        // -1 cancels
    QTest::addColumn<QList<bool>>("checked");
    QTest::addColumn<QByteArray>("after"); // in the file and the request record
    QTest::addColumn<bool>("entry");       // whether "Enter Arfcn" opens the popup

    QTest::newRow("on, cancelled")
        << QByteArray("1") << -1 << QList<bool>{true, false} << QByteArray("1") << true;
    QTest::newRow("on to off") << QByteArray("1") << 1 << QList<bool>{true, false}
                               << QByteArray("0") << false;
    QTest::newRow("off to on") << QByteArray("0") << 0 << QList<bool>{false, true}
                               << QByteArray("1") << true;
}

void tst_KIVO_CellSticker::modeDialog()
{
    QFETCH(QByteArray, before);
    QFETCH(int, choice);

    PopupWatcher watcher;
    watcher.answer(choice < 0 ? PopupWatcher::Answer::Cancel : PopupWatcher::Answer::Accept,
                   choice);
    start("[KIVO]\ncell_sticker_mode=" + before + '\n');
    const int sent = m_peer.calls("SetCellStickerMode").size();
    press(m_screen.get(), {Qt::Key_Up, Qt::Key_Return});
    QCOMPARE(watcher.seen().size(), 1);
    QCOMPARE(watcher.seen().first().title, QStringLiteral("Cell Sticker"));
    QTEST(watcher.seen().first().checked, "checked");
    QTEST(file().value("KIVO/cell_sticker_mode").toByteArray(), "after");
    QTEST(QByteArray::number(kivo_eng->stickerRequest.mode), "after");
    // The mode goes to the telephony layer with the next "Set" only.
    QCOMPARE(m_peer.calls("SetCellStickerMode").size(), sent);
    enterArfcn(m_screen.get(), QStringLiteral("9"));
    QTEST(kivo_eng->arfcn == 9, "entry");
}

QTEST_MAIN(tst_KIVO_CellSticker)
#include "tst_kivo_cellsticker.moc"
