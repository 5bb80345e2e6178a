// The kivo program itself, unchanged, against the bridge and the ModemManager stand-in, driven
// as the engineer drives it: Cell Sticker "Set" on an EARFCN, and the notices that follow, read
// off the screen through the accessibility bus.
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

void tst_KIVO_MMOnScreen::sticker_data()
{
    QTest::addColumn<QString>("arfcn");
    QTest::addColumn<QStringList>("notices"); // every "Cell Sticker Information" text, in order

    const QString notice = QStringLiteral("Cell id: %1\n%2");
    QTest::newRow("modem camps on the EARFCN")
        << "6300"
        << QStringList{"Set sticker on ARFCN 6300 ?", notice.arg(6300).arg("Scanning for Cell"),
                       notice.arg(6300).arg("Mode Entered")};
    QTest::newRow("no cell on the EARFCN: failed, then stopped")
        << "6200"
        << QStringList{"Set sticker on ARFCN 6200 ?", notice.arg(6200).arg("Scanning for Cell"),
                       notice.arg(6200).arg("Cell Sticker Stopped\nFailed for Unknown Reason"),
                       notice.arg(6200).arg("Cell Sticker Stopped")};
}

void tst_KIVO_MMOnScreen::sticker()
{
    QFETCH(QString, arfcn);
    QFETCH(QStringList, notices);

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
        {"Cell Sticker", "Enter Arfcn", {"F1"}},
    };
    for (const auto &step : steps) {
        QVERIFY2(screen.pressOn(step.title, step.text, step.keys), qPrintable(screen.error()));
    }
    // Each popup as the engineer reads it: its title, its text and its one soft key.
    const QString title = QStringLiteral("Cell Sticker Information");
    QVERIFY2(screen.pressOnEach(title, int(notices.size()), {"Escape"}),
             qPrintable(screen.error()));
    QStringList seen;
    for (const WindowSeen &window : screen.shown(title)) {
        seen << window.texts.join('|');
    }
    for (QString &notice : notices) {
        notice = title + '|' + notice + "|OK";
    }
    QCOMPARE(seen, notices);
}

QTEST_GUILESS_MAIN(tst_KIVO_MMOnScreen)
#include "tst_kivo_mm_onscreen.moc"
