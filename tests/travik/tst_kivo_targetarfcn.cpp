// The "Arfcn" entry popup: what it shows on opening and what "Set" and "Cancel" leave behind.
#include "KIVO_Settings.h"
#include "KIVO_TargetArfcn.h"
#include "KivoTestRoot.h"
#include "ScreenHelpers.h"
#include "StderrCapture.h"

#include <QSettings>

class tst_KIVO_TargetArfcn : public QObject {
    Q_OBJECT

private slots:
    void entry_data();
    void entry();

private:
    KivoTestRoot m_root;
};

void tst_KIVO_TargetArfcn::entry_data()
{
    QTest::addColumn<int>("storedArfcn");   // the engine's, as loaded at start-up
    QTest::addColumn<QStringList>("typed"); // one entry per opening of the popup
    QTest::addColumn<Qt::Key>("key");       // F1 "Set", F2 "Cancel"
    QTest::addColumn<QString>("shown");     // the field on the last opening
    QTest::addColumn<int>("arfcn");
    QTest::addColumn<int>("state"); // in the engine and in the file
    QTest::addColumn<int>("prev");
    QTest::addColumn<QByteArray>("trace");

    // The file holds a sticker on 62 (state 2) in every row.
    QTest::newRow("none stored, empty field") << -1 << QStringList{""} << Qt::Key_F1 << "" << 0 << 1
                                              << 2 << QByteArray("value of stored arfcn = 0");
    QTest::newRow("none stored, cancelled")
        << -1 << QStringList{"5"} << Qt::Key_F2 << "" << 33 << 2 << 0 << QByteArray();
    // The file's value is shown, not the engine's, and arfcn takes it even when cancelled.
    QTest::newRow("stored, cancelled") << 7 << QStringList{""} << Qt::Key_F2 << "62" << 62 << 2 << 0
                                       << QByteArray("\nStored arfcn = 62");
    QTest::newRow("stored, replaced")
        << 62 << QStringList{"\b\b-815"} << Qt::Key_F1 << "62" << -815 << 1 << 2
        << QByteArray("\nStored arfcn = 62value of stored arfcn = -815");
    QTest::newRow("two entries in a row")
        << -1 << QStringList{"10", "11"} << Qt::Key_Return << "" << 11 << 1 << 1
        << QByteArray("value of stored arfcn = 10value of stored arfcn = 11");
}

void tst_KIVO_TargetArfcn::entry()
{
    QFETCH(int, storedArfcn);
    QFETCH(QStringList, typed);
    QFETCH(Qt::Key, key);
    QFETCH(int, state);

    const QString ini = KivoTestRoot::defaultIniPath();
    m_root.writeFile(ini, "[KIVO]\nstoredArfcn=62\nCell%20Sticker%20State=2\n");
    EngineScope scope;
    KIVO_Engine &engine = scope.engine;
    loadSettings(&engine);
    engine.storedArfcn = storedArfcn;
    engine.arfcn = 33;

    StderrCapture capture;
    for (const QString &entry : typed) {
        KIVO_TargetArfcn popup(nullptr, nullptr);
        popup.show();
        QVERIFY(!popup.isModal());
        QCOMPARE(popup.windowTitle(), QStringLiteral("Arfcn"));
        QTEST(popup.findChild<QLineEdit *>()->text(), "shown");
        QTest::keyClicks(popup.findChild<QLineEdit *>(), entry);
        QTest::keyClick(&popup, key);
        QVERIFY(!popup.isVisible());
    }
    QTEST(capture.text(), "trace");
    QTEST(engine.arfcn, "arfcn");
    QCOMPARE(engine.cellStickerState, state);
    QTEST(engine.prevCellStickerState, "prev");
    const QSettings file(m_root.path(ini), QSettings::IniFormat);
    QCOMPARE(file.value("KIVO/Cell Sticker State").toInt(), state);
    // The entered number is stored only when the telephony layer confirms it.
    QCOMPARE(file.value("KIVO/storedArfcn").toInt(), 62);
}

QTEST_MAIN(tst_KIVO_TargetArfcn)
#include "tst_kivo_targetarfcn.moc"
