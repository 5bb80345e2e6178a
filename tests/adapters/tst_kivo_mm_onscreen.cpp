// The kivo program itself, unchanged, against the bridge and the ModemManager stand-in, driven
// as the engineer drives it on a phone whose modem ModemManager runs: Cell Sticker "Set" on an
// EARFCN, and the popups that follow, read off the screen through the accessibility bus.
#include "KivoOnScreen.h"
#include "KivoTestRoot.h"
#include "MMBridgeRig.h"

class tst_KIVO_MMOnScreen : public QObject {
    Q_OBJECT

private slots:
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

// "Set" on an EARFCN the modem camps on: the question, then "Scanning for Cell" and "Mode
// Entered", and the one lock command. The failures and a restart of the daemon are the bridge's
// rows in tst_kivo_mm_bridge (sticker, followsModem) and KIVO's in its engine and peers tests.
void tst_KIVO_MMOnScreen::sticker()
{
    m_root.writeFlexBits("356=1\n");
    m_root.writeFile(KivoTestRoot::defaultIniPath(), "[KIVO]\ncell_sticker_mode=1\n");
    MMBridgeRig rig(m_root.root());
    QVERIFY(rig.start());
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

    const struct {
        const char *title;
        const char *text; // what shows that window is up
        QStringList keys;
    } steps[] = {
        {"KIVO", "Active Features", {"Down", "Return"}},
        {"Active Features", "Cell Bar Access", {"Return"}},
        {"Cell Sticker", "Enter Arfcn", {"Down", "Down", "Return"}},
        {"Arfcn", "Enter ARFCN", {"6", "3", "0", "0", "F1"}},
        {"Cell Sticker", "Enter Arfcn", {"F1"}}, // Set
    };
    for (const auto &step : steps) {
        QVERIFY2(screen.pressOn(step.title, step.text, step.keys), qPrintable(screen.error()));
    }
    const QString notice = QStringLiteral("Cell Sticker Information|Cell id: 6300\n%1");
    const QStringList popups{QStringLiteral("Cell Sticker Information|Set sticker on ARFCN 6300 ?"),
                             notice.arg("Scanning for Cell"), notice.arg("Mode Entered")};
    QVERIFY2(screen.pressOnEach(s_popupTitles, int(popups.size()), {"Escape"}),
             qPrintable(screen.error()));
    QCOMPARE(popupsOf(screen), popups);
    QTRY_COMPARE_WITH_TIMEOUT(MMBridgeRig::commands(),
                              QStringList{QStringLiteral("AT+QNWLOCK=\"common/lte\",1,6300,0")},
                              30000);
}

QTEST_GUILESS_MAIN(tst_KIVO_MMOnScreen)
#include "tst_kivo_mm_onscreen.moc"
