// The FTS screens against the FTS engine simulator on a private bus: the titles retry while no
// FTS engine runs, and a favourites edit whose request reaches the simulator byte for byte.
#include "FtsPeer.h"
#include "KIVO_FTSOptions_P2.h"
#include "KIVO_Favourites.h"
#include "KivoTestRoot.h"
#include "PopupWatcher.h"
#include "StderrCapture.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusInterface>
#include <QDBusReply>
#include <QProcess>

namespace {

const char kRetryTrace[] = "[KIVO]***************retry get titles******* \r\n";

} // namespace

class tst_KIVO_FtsSim : public QObject {
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void titlesRetryUntilTheEngineRuns();
    void favouritesEndToEnd();

private:
    void startSim();
    QDBusMessage control(const QString &method, const QVariantList &arguments = {});

    KivoTestRoot m_root;
    QProcess m_sim;
};

void tst_KIVO_FtsSim::init()
{
    m_root.writeFile("/etc/kivo/sim/fts-titles.txt",
                     "# test screens\nServing Cell\nNeighbour Cells\nTiming Advance\n"
                     "Power Control\nChannel Info\nCiphering\n");
    m_root.remove("/var/lib/kivo-sim/fts-selections.ini");
}

void tst_KIVO_FtsSim::cleanup()
{
    if (m_sim.state() != QProcess::NotRunning) {
        m_sim.terminate();
        QVERIFY(m_sim.waitForFinished(5000));
    }
}

void tst_KIVO_FtsSim::startSim()
{
    m_sim.start(KIVO_SIM_FTS, {}); // the titles under KIVO_ROOT, as init() wrote them
    QVERIFY(m_sim.waitForStarted(5000));
    QTRY_VERIFY(QDBusConnection::sessionBus().interface()->isServiceRegistered("org.kivo.Sim.Fts"));
}

QDBusMessage tst_KIVO_FtsSim::control(const QString &method, const QVariantList &arguments)
{
    QDBusInterface sim("org.kivo.Sim.Fts", "/org/kivo/Sim", "org.kivo.Sim.Fts");
    return sim.callWithArgumentList(QDBus::Block, method, arguments);
}

void tst_KIVO_FtsSim::titlesRetryUntilTheEngineRuns()
{
    EngineScope scope;
    FtsPeer listener;
    listener.answering = false;
    StderrCapture capture;
    KIVO_FTSOptions_P2 screen(nullptr, nullptr);
    QTest::keyClick(&screen, Qt::Key_F2); // the retries go on while hidden

    QTRY_VERIFY_WITH_TIMEOUT(listener.names.count("getTitles(QString,QString)") >= 3, 15000);
    QVERIFY(capture.text().count(kRetryTrace) >= 2);
    startSim();
    QTRY_COMPARE_WITH_TIMEOUT(int(scope.engine.titlesNum), 6, 5000);
    QCOMPARE(scope.engine.titlesArray[5], QStringLiteral("Ciphering"));

    // The tick after the titles came stops the timer for good, so titles lost afterwards (an
    // unasked empty list) bring no retry. Only time passing can show that.
    QTest::qWait(2500);
    control("SetTitles", {QStringList()});
    control("SendTitles");
    QTRY_COMPARE(int(scope.engine.titlesNum), 0);
    capture.clear();
    QVERIFY(!QTest::qWaitFor([&] { return capture.text().contains(kRetryTrace); }, 4500));
}

void tst_KIVO_FtsSim::favouritesEndToEnd()
{
    startSim();
    EngineScope scope;
    FtsPeer listener;
    listener.answering = false;
    PopupWatcher popups;
    KIVO_FTSOptions_P2 screen(nullptr, nullptr);
    QTRY_COMPARE(int(scope.engine.titlesNum), 6);

    press(&screen, {Qt::Key_Down, Qt::Key_Return});
    QWidget *editor = shown<KIVO_Favourites>();
    QVERIFY(editor);
    // A fresh simulator holds the first two titles as favourites.
    QTRY_COMPARE(rowsOf(editor).size(), 6);
    QCOMPARE(checkedRows(editor), (QList<int>{0, 1}));
    // Uncheck row 1, check row 5: favourites 0 and 5.
    press(editor, {Qt::Key_Down, Qt::Key_F1, Qt::Key_Down, Qt::Key_Down, Qt::Key_Down, Qt::Key_Down,
                   Qt::Key_F1, Qt::Key_F2});
    QCOMPARE(popups.seen().value(0).text, QStringLiteral("Favourites Changed"));
    QTRY_COMPARE(listener.names.count("setFavourites(QString,QString)"), 1);
    QCOMPARE(listener.blocks.last().toHex(), QByteArray("0000000000000021"));
    const QDBusMessage last = control("LastRequest");
    QCOMPARE(last.arguments().value(0).toString(), "setFavourites(QString,QString)");
    QCOMPARE(last.arguments().value(1).toByteArray().toHex(), QByteArray("0000000000000021"));
    QCOMPARE(control("Selections").arguments().value(0).toULongLong(), Q_UINT64_C(0x21));
}

QTEST_MAIN(tst_KIVO_FtsSim)
#include "tst_kivo_fts_sim.moc"
