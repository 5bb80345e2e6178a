// The cell sticker against the telephony simulator: the radio layer's own verdicts and
// outcomes for the cells it hears, end to end over a private bus.
#include "KIVO_CellSticker.h"
#include "KIVO_Settings.h"
#include "KivoTestRoot.h"
#include "PopupWatcher.h"
#include "ScreenHelpers.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusInterface>
#include <QProcess>
#include <QSettings>

class tst_KIVO_StickerSim : public QObject {
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void outcome_data();
    void outcome();

private:
    QVariant control(const QString &method, const QVariantList &arguments = {});

    KivoTestRoot m_root;
    QProcess m_sim;
};

void tst_KIVO_StickerSim::init()
{
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("KIVO_ROOT"), m_root.root());
    m_sim.setProcessEnvironment(env);
    m_sim.start(QStringLiteral(KIVO_SIM_TELEPHONY),
                {QStringLiteral("--outcome-delay"), QStringLiteral("50")});
    QVERIFY(m_sim.waitForStarted(5000));
    QTRY_VERIFY(QDBusConnection::sessionBus().interface()->isServiceRegistered(
        QStringLiteral("org.kivo.Telephony")));
}

void tst_KIVO_StickerSim::cleanup()
{
    stopKivoEngine();
    m_sim.kill();
    m_sim.waitForFinished(5000);
    m_root.remove(KivoTestRoot::defaultIniPath());
}

// The simulator's control interface: what it was asked, as the radio layer saw it.
QVariant tst_KIVO_StickerSim::control(const QString &method, const QVariantList &arguments)
{
    QDBusInterface sim("org.kivo.Sim.Telephony", "/org/kivo/Sim", "org.kivo.Sim.Telephony");
    return sim.callWithArgumentList(QDBus::Block, method, arguments).arguments().value(0);
}

void tst_KIVO_StickerSim::outcome_data()
{
    QTest::addColumn<QString>("arfcn");
    QTest::addColumn<QStringList>("texts");   // message and notice texts, in order
    QTest::addColumn<QByteArray>("request");  // the last request the simulator got
    QTest::addColumn<int>("state");           // "Cell Sticker State" in the file afterwards
    QTest::addColumn<QString>("storedArfcn"); // as the file holds it; "" absent
    QTest::addColumn<int>("mode");            // "cell_sticker_mode" in the file

    const QString question = QStringLiteral("Set sticker on ARFCN %1 ?");
    QTest::newRow("good cell: mode entered")
        << "62" << QStringList{question.arg(62), "Cell id: 62\nMode Entered"}
        << QByteArray::fromHex("013e000000") << 2 << "62" << 1;
    QTest::newRow("barred cell: sticker stopped and switched off")
        << "36"
        << QStringList{question.arg(36), "Cell id: 36\nCell Sticker Stopped\nCell Barred",
                       "Cell id: 4294967295\nCell Sticker Stopped"}
        // The refused ARFCN gives way to the stored one, -1, written unsigned.
        << QByteArray::fromHex("0024000000") << 0 << "4294967295" << 0;
    QTest::newRow("no cell heard there")
        << "70"
        << QStringList{question.arg(70),
                       "Cell id: 70\nCell Sticker Stopped\nFailed for Unknown "
                       "Reason",
                       "Cell id: 4294967295\nCell Sticker Stopped"}
        << QByteArray::fromHex("0046000000") << 0 << "4294967295" << 0;
    QTest::newRow("outside every band: refused before any request")
        << "2000" << QStringList{question.arg(2000), "Wrong ARFCN entered"} << QByteArray() << 0
        << "" << 1;
}

void tst_KIVO_StickerSim::outcome()
{
    QFETCH(QString, arfcn);
    QFETCH(QStringList, texts);
    QFETCH(QByteArray, request);
    QFETCH(int, state);
    QFETCH(QString, storedArfcn);
    QFETCH(int, mode);

    m_root.writeFile(KivoTestRoot::defaultIniPath(), "[KIVO]\ncell_sticker_mode=1\n");
    startKivoEngine(kivoPopupPresenter());
    QTRY_VERIFY(control("CallCount", {"Register"}).toUInt() >= 1);

    PopupWatcher watcher;
    KIVO_CellSticker screen(nullptr, "Active Features");
    screen.show();
    enterArfcn(&screen, arfcn);
    QTest::keyClick(&screen, Qt::Key_F1); // Set
    QVERIFY(watcher.waitForCount(int(texts.size())));
    // Nothing further arrives.
    QTest::qWait(300);
    QStringList seen;
    for (const PopupSeen &popup : watcher.seen()) {
        seen << popup.text;
    }
    QCOMPARE(seen, texts);
    QCOMPARE(control("LastStickerRequest").toByteArray(), request);

    QSettings file(m_root.path(KivoTestRoot::defaultIniPath()), QSettings::IniFormat);
    QCOMPARE(file.value(QStringLiteral("KIVO/Cell Sticker State")).toInt(), state);
    QCOMPARE(file.value(QStringLiteral("KIVO/storedArfcn")).toString(), storedArfcn);
    QCOMPARE(file.value(QStringLiteral("KIVO/cell_sticker_mode")).toInt(), mode);
}

QTEST_MAIN(tst_KIVO_StickerSim)
#include "tst_kivo_sticker_sim.moc"
