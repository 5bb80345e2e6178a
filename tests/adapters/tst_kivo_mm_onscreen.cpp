// The kivo program itself, unchanged, against the bridge and the ModemManager stand-in, driven
// as the engineer drives it on a phone whose modem ModemManager runs: Cell Sticker "Set" on an
// EARFCN, and the popups that follow, read off the screen through the accessibility bus.
#include "KivoOnScreen.h"
#include "KivoTestRoot.h"
#include "MMBridgeRig.h"

class tst_KIVO_MMOnScreen : public QObject {
    Q_OBJECT

private slots:
    void sticker_data();
    void sticker();

private:
    KivoTestRoot m_root;
};

namespace {

const QStringList s_popupTitles{QStringLiteral("Cell Sticker Information"),
                                QStringLiteral("KIVO: TAPI Error"),
                                QStringLiteral("KIVO: TAPI Disconnected")};

// Every popup seen as "title|text", its one soft key checked.
QStringList popupsOf(const KivoOnScreen &screen)
{
    QStringList popups;
    for (const WindowSeen &window : screen.shown(s_popupTitles)) {
        popups << (window.texts.value(2) == QLatin1String("OK")
                       ? window.texts.mid(0, 2).join(QLatin1Char('|'))
                       : window.texts.join(QLatin1Char('|')));
    }
    return popups;
}

} // namespace

void tst_KIVO_MMOnScreen::sticker_data()
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

void tst_KIVO_MMOnScreen::sticker()
{
    QFETCH(QStringList, fakeArguments);
    QFETCH(bool, restart);
    QFETCH(QString, arfcn);
    QFETCH(QStringList, popups);
    QFETCH(QStringList, commands);

    m_root.writeFlexBits("356=1\n");
    m_root.writeFile(KivoTestRoot::defaultIniPath(), "[KIVO]\ncell_sticker_mode=1\n");
    MMBridgeRig rig(m_root.root());
    QVERIFY(rig.start(fakeArguments));
    KivoOnScreen screen;
    QProcessEnvironment environment;
    environment.insert(QStringLiteral("KIVO_ROOT"), m_root.root());
    QString skip;
    QVERIFY2(screen.start(QStringLiteral(KIVO_PROGRAM), environment, &skip),
             qPrintable(screen.error()));
    if (!skip.isEmpty()) {
        QSKIP(qPrintable(skip));
    }
    QTRY_VERIFY_WITH_TIMEOUT(rig.errors().contains("registered for"), 30000);
    if (restart) {
        MMBridgeRig::control(QStringLiteral("Vanish"), {0u});
        QVERIFY2(screen.pressOnEach(s_popupTitles, 1, {"Escape"}), qPrintable(screen.error()));
        MMBridgeRig::control(QStringLiteral("Appear"));
        QTRY_VERIFY_WITH_TIMEOUT(MMBridgeRig::isOwned(QStringLiteral("org.kivo.Telephony")), 30000);
    }

    QStringList digits;
    for (const QChar digit : arfcn) {
        digits << digit;
    }
    const struct {
        const char *title;
        const char *text; // what shows that window is up
        QStringList keys;
    } steps[] = {
        {"KIVO", "Active Features", {"Down", "Return"}},
        {"Active Features", "Cell Bar Access", {"Return"}},
        {"Cell Sticker", "Enter Arfcn", {"Down", "Down", "Return"}},
        {"Arfcn", "Enter ARFCN", digits + QStringList{"F1"}},
        {"Cell Sticker", "Enter Arfcn", {"F1"}}, // Set
    };
    for (const auto &step : steps) {
        QVERIFY2(screen.pressOn(step.title, step.text, step.keys), qPrintable(screen.error()));
    }
    QVERIFY2(screen.pressOnEach(s_popupTitles, int(popups.size()), {"Escape"}),
             qPrintable(screen.error()));
    QCOMPARE(popupsOf(screen), popups);
    QTRY_COMPARE_WITH_TIMEOUT(MMBridgeRig::commands(), commands, 30000);
}

QTEST_GUILESS_MAIN(tst_KIVO_MMOnScreen)
#include "tst_kivo_mm_onscreen.moc"
