// KIVO's cell sticker as the engineer meets it on a phone whose modem ModemManager drives: the
// engine and screens of the kivo program against the bridge and the ModemManager stand-in.
#include "KIVO_CellSticker.h"
#include "KIVO_Settings.h"
#include "KivoTestRoot.h"
#include "MMBridgeRig.h"
#include "PopupWatcher.h"
#include "ScreenHelpers.h"

class tst_KIVO_MMKivo : public QObject {
    Q_OBJECT

private slots:
    void cleanup();
    void sticker_data();
    void sticker();

private:
    KivoTestRoot m_root;
};

void tst_KIVO_MMKivo::cleanup()
{
    stopKivoEngine();
    m_root.remove(KivoTestRoot::defaultIniPath());
}

void tst_KIVO_MMKivo::sticker_data()
{
    QTest::addColumn<QStringList>("fakeArguments");
    QTest::addColumn<bool>("restart"); // the daemon restarts before the request
    QTest::addColumn<QString>("arfcn");
    QTest::addColumn<QStringList>("popups");   // every popup's title and text, in order
    QTest::addColumn<QStringList>("commands"); // what the modem got, in order

    const QString question = QStringLiteral("Cell Sticker Information|Set sticker on ARFCN %1 ?");
    const QString notice = QStringLiteral("Cell Sticker Information|Cell id: %1\n%2");
    const QString lock = QStringLiteral("AT+QNWLOCK=\"common/lte\",1,%1,0");
    const QString unlock = QStringLiteral("AT+QNWLOCK=\"common/lte\",0");
    QTest::newRow("modem camps on the EARFCN")
        << QStringList() << false << "6300"
        << QStringList{question.arg(6300), notice.arg(6300).arg("Scanning for Cell"),
                       notice.arg(6300).arg("Mode Entered")}
        << QStringList{lock.arg(6300)};
    // KIVO switches the sticker off after a failure; the modem is unlocked.
    QTest::newRow("no cell on the EARFCN: failed, then stopped")
        << QStringList() << false << "6200"
        << QStringList{question.arg(6200), notice.arg(6200).arg("Scanning for Cell"),
                       notice.arg(6200).arg("Cell Sticker Stopped\nFailed for Unknown Reason"),
                       notice.arg(6200).arg("Cell Sticker Stopped")}
        << QStringList{lock.arg(6200), unlock};
    QTest::newRow("ModemManager without --debug: request failed")
        << QStringList{QStringLiteral("--no-debug")} << false << "6300"
        << QStringList{question.arg(6300), QStringLiteral("KIVO: TAPI Error|Request Failed!")}
        << QStringList{lock.arg(6300)};
    QTest::newRow("daemon restarted: device closed, then the next outcome")
        << QStringList() << true << "6300"
        << QStringList{QStringLiteral("KIVO: TAPI Disconnected|TAPI Device Closed!"),
                       question.arg(6300), notice.arg(6300).arg("Scanning for Cell"),
                       notice.arg(6300).arg("Mode Entered")}
        << QStringList{lock.arg(6300)};
}

void tst_KIVO_MMKivo::sticker()
{
    QFETCH(QStringList, fakeArguments);
    QFETCH(bool, restart);
    QFETCH(QString, arfcn);
    QFETCH(QStringList, popups);
    QFETCH(QStringList, commands);

    MMBridgeRig rig(m_root.root());
    QVERIFY(rig.start(fakeArguments));
    m_root.writeFile(KivoTestRoot::defaultIniPath(), "[KIVO]\ncell_sticker_mode=1\n");
    startKivoEngine(kivoPopupPresenter());
    QTRY_VERIFY_WITH_TIMEOUT(rig.errors().contains("registered for"), 10000);
    PopupWatcher watcher;
    if (restart) {
        MMBridgeRig::control(QStringLiteral("Vanish"), {0u});
        QVERIFY(watcher.waitForCount(1, 10000));
        MMBridgeRig::control(QStringLiteral("Appear"));
        QTRY_VERIFY_WITH_TIMEOUT(MMBridgeRig::isOwned(QStringLiteral("org.kivo.Telephony")), 10000);
    }
    KIVO_CellSticker screen(nullptr, "Active Features");
    screen.show();
    enterArfcn(&screen, arfcn);
    QTest::keyClick(&screen, Qt::Key_F1); // Set
    QVERIFY(watcher.waitForCount(int(popups.size()), 15000));
    QTRY_COMPARE_WITH_TIMEOUT(MMBridgeRig::commands(), commands, 10000);
    QStringList seen;
    for (const PopupSeen &popup : watcher.seen()) {
        seen << popup.title + QLatin1Char('|') + popup.text;
    }
    QCOMPARE(seen, popups);
}

QTEST_MAIN(tst_KIVO_MMKivo)
#include "tst_kivo_mm_kivo.moc"
