// KIVO with no bus at all: the program starts and keeps running while its registration fails,
// telephony requests from the screens end in the "Sendmsg Error!" popup, requests to the FTS
// engine are lost, and the files stay as they were.
#include "KIVO_Engine.h"
#include "KIVO_Popups.h"
#include "KivoProcess.h"
#include "KivoTestRoot.h"
#include "PopupWatcher.h"

class tst_KIVO_NoBus : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void programRuns();
    void requestsFail();

private:
    KivoTestRoot m_root;
};

namespace {

const QByteArray s_iniBytes = "[KIVO]\nkivo_mode=2\nstoredArfcn=62\nCell%20Sticker%20State=2\n";
const QByteArray s_volatileBytes = "[KIVO]\nCell%20Barring=2\n";

} // namespace

void tst_KIVO_NoBus::initTestCase()
{
    QVERIFY(m_root.isValid());
    QVERIFY(qEnvironmentVariable("DBUS_SESSION_BUS_ADDRESS").contains("nonexistent"));
    m_root.writeFlexBits("356=1\n");
    m_root.writeFile(KivoTestRoot::defaultIniPath(), s_iniBytes);
    m_root.writeFile(QStringLiteral("/tmp/kivo"), s_volatileBytes);
}

void tst_KIVO_NoBus::programRuns()
{
    KivoProcess kivo(m_root.root());
    QVERIFY(kivo.start());
    // A few seconds of failed registrations, every 300 ms.
    QTest::qWait(2000);
    QVERIFY(kivo.isRunning());
    QVERIFY2(kivo.traces().startsWith("value of flex=1[KIVO] KIVO_Engine::KIVO_Engine\r\n"),
             kivo.traces().constData());
    QCOMPARE(m_root.readFile(KivoTestRoot::defaultIniPath()), s_iniBytes);
    QCOMPARE(m_root.readFile(QStringLiteral("/tmp/kivo")), s_volatileBytes);
}

void tst_KIVO_NoBus::requestsFail()
{
    startKivoEngine(kivoPopupPresenter());
    KIVO_Engine &engine = *kivo_eng;
    QCOMPARE(engine.tapiInvalid(), 1);
    engine.getTitleInfo();
    engine.setFavourites(3);
    engine.cellBarMode = 2;

    PopupWatcher watcher;
    KIVO_CellBar screen(nullptr, "Active Features");
    QVERIFY(chooseCellBarMode(screen));
    QCOMPARE(watcher.seen().size(), 1);
    QCOMPARE(watcher.seen().at(0).title, QStringLiteral("KIVO: TAPI Error"));
    QCOMPARE(watcher.seen().at(0).text, QStringLiteral("Sendmsg Error!"));
    QCOMPARE(engine.cellBarMode, 2);
    QCOMPARE(m_root.readFile(QStringLiteral("/tmp/kivo")), s_volatileBytes);
    stopKivoEngine();
}

QTEST_MAIN(tst_KIVO_NoBus)
#include "tst_kivo_nobus.moc"
