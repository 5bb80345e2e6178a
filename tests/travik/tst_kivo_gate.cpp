// The start-up gate, run as the program is run: feature flag 356 decides whether KIVO starts.
#include "KivoTestRoot.h"

#include <QDir>
#include <QFileInfo>
#include <QProcess>
#include <QTest>

#include <sys/stat.h>

class tst_KIVO_Gate : public QObject {
    Q_OBJECT

private slots:
    void gate_data();
    void gate();

private:
    KivoTestRoot m_root;
};

void tst_KIVO_Gate::gate_data()
{
    QTest::addColumn<QByteArray>("flexbits"); // null: no flag file
    QTest::addColumn<QByteArray>("traces");   // stderr, whole when refused, its start when run

    const QByteArray stop("Stops the activity of KIVO");
    QTest::newRow("refused: flag 0") << QByteArray("356=0\n") << "value of flex=0" + stop;
    QTest::newRow("refused: flag 2") << QByteArray("356=2\n") << "value of flex=2" + stop;
    QTest::newRow("refused: flag 256 is 0 in its low byte")
        << QByteArray("356=256\n") << "value of flex=0" + stop;
    QTest::newRow("refused: flag missing, other flags present")
        << QByteArray("# flags\n355=1\n357=1\n") << "value of flex=0" + stop;
    QTest::newRow("refused: flag only in a comment")
        << QByteArray("#356=1\n") << "value of flex=0" + stop;
    QTest::newRow("refused: no flag file") << QByteArray() << "value of flex=0" + stop;
    // A FIFO with no writer would block the read for good; it counts as no flag file.
    QTest::newRow("refused: flag file is a FIFO") << QByteArray("<fifo>") << "value of flex=0" + stop;
    // Running means past the gate: the engine traces its construction.
    const QByteArray runs("value of flex=1[KIVO] KIVO_Engine::KIVO_Engine\r\n");
    QTest::newRow("runs: 356=1") << QByteArray("356=1\n") << runs;
    QTest::newRow("runs: 257 is 1 in its low byte, among comments")
        << QByteArray("# device flags\n100=3\n356=257\n") << runs;
}

void tst_KIVO_Gate::gate()
{
    QFETCH(QByteArray, flexbits);
    QFETCH(QByteArray, traces);

    m_root.remove(QStringLiteral("/etc/kivo/flexbits"));
    if (flexbits == "<fifo>") {
        const QByteArray path = m_root.path(QStringLiteral("/etc/kivo/flexbits")).toLocal8Bit();
        QVERIFY(QDir().mkpath(QFileInfo(QString::fromLocal8Bit(path)).absolutePath()));
        QVERIFY(::mkfifo(path.constData(), 0600) == 0);
    } else if (!flexbits.isNull()) {
        m_root.writeFlexBits(flexbits);
    }
    QProcess kivo;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("KIVO_ROOT"), m_root.root());
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    kivo.setProcessEnvironment(env);
    kivo.start(QStringLiteral(KIVO_BINARY), {});
    QVERIFY(kivo.waitForStarted(10000));
    if (traces.contains("Stops the activity")) {
        QVERIFY(kivo.waitForFinished(10000));
        QCOMPARE(kivo.exitStatus(), QProcess::NormalExit);
        QCOMPARE(kivo.exitCode(), 1);
        QCOMPARE(kivo.readAllStandardError(), traces);
        QCOMPARE(kivo.readAllStandardOutput(), QByteArray());
        return;
    }
    QByteArray seen;
    QTRY_VERIFY_WITH_TIMEOUT((seen += kivo.readAllStandardError()).contains("KIVO_Engine") ||
                                 kivo.state() != QProcess::Running,
                             10000);
    QCOMPARE(kivo.state(), QProcess::Running);
    QVERIFY2(seen.startsWith(traces), seen.constData());
    QVERIFY(!seen.contains("Stops the activity"));
    kivo.kill();
    QVERIFY(kivo.waitForFinished(5000));
}

QTEST_GUILESS_MAIN(tst_KIVO_Gate)
#include "tst_kivo_gate.moc"
