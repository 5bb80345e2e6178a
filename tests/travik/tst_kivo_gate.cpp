// The start-up gate, run as the program is run: feature flag 356 decides whether KIVO starts.
#include "KivoTestRoot.h"

#include <QProcess>
#include <QTest>

class tst_KIVO_Gate : public QObject {
    Q_OBJECT

private slots:
    void refused_data();
    void refused();
    void runs_data();
    void runs();

private:
    KivoTestRoot m_root;
};

namespace {

QProcessEnvironment kivoEnvironment(const QString &root)
{
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("KIVO_ROOT"), root);
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    return env;
}

} // namespace

void tst_KIVO_Gate::refused_data()
{
    QTest::addColumn<bool>("writeFile");
    QTest::addColumn<QByteArray>("flexbits");
    QTest::addColumn<QByteArray>("stderrText");

    const QByteArray stop("Stops the activity of KIVO");
    QTest::newRow("flag 0") << true << QByteArray("356=0\n") << "value of flex=0" + stop;
    QTest::newRow("flag 2") << true << QByteArray("356=2\n") << "value of flex=2" + stop;
    QTest::newRow("flag 256 is 0 in its low byte")
        << true << QByteArray("356=256\n") << "value of flex=0" + stop;
    QTest::newRow("flag missing, other flags present")
        << true << QByteArray("# flags\n355=1\n357=1\n") << "value of flex=0" + stop;
    QTest::newRow("flag only in a comment") << true << QByteArray("#356=1\n")
                                            << "value of flex=0" + stop;
    QTest::newRow("no flag file") << false << QByteArray() << "value of flex=0" + stop;
}

void tst_KIVO_Gate::refused()
{
    QFETCH(bool, writeFile);
    QFETCH(QByteArray, flexbits);
    QFETCH(QByteArray, stderrText);

    m_root.remove(QStringLiteral("/etc/kivo/flexbits"));
    if (writeFile) {
        m_root.writeFlexBits(flexbits);
    }
    QProcess kivo;
    kivo.setProcessEnvironment(kivoEnvironment(m_root.root()));
    kivo.start(QStringLiteral(KIVO_BINARY), {});
    QVERIFY(kivo.waitForFinished(10000));
    QCOMPARE(kivo.exitStatus(), QProcess::NormalExit);
    QCOMPARE(kivo.exitCode(), 1);
    QCOMPARE(kivo.readAllStandardError(), stderrText);
    QCOMPARE(kivo.readAllStandardOutput(), QByteArray());
}

void tst_KIVO_Gate::runs_data()
{
    QTest::addColumn<QByteArray>("flexbits");
    QTest::newRow("356=1") << QByteArray("356=1\n");
    QTest::newRow("257 is 1 in its low byte, among comments")
        << QByteArray("# device flags\n100=3\n356=257\n");
}

void tst_KIVO_Gate::runs()
{
    QFETCH(QByteArray, flexbits);
    m_root.writeFlexBits(flexbits);
    QProcess kivo;
    kivo.setProcessEnvironment(kivoEnvironment(m_root.root()));
    kivo.start(QStringLiteral(KIVO_BINARY), {});
    QVERIFY(kivo.waitForStarted(10000));
    // Running means past the gate: the engine traces its construction.
    QByteArray traces;
    QTRY_VERIFY_WITH_TIMEOUT((traces += kivo.readAllStandardError()).contains("KIVO_Engine")
                                 || kivo.state() != QProcess::Running,
                             10000);
    QCOMPARE(kivo.state(), QProcess::Running);
    QVERIFY2(traces.startsWith("value of flex=1[KIVO] KIVO_Engine::KIVO_Engine\r\n"),
             traces.constData());
    QVERIFY(!traces.contains("Stops the activity"));
    kivo.kill();
    QVERIFY(kivo.waitForFinished(5000));
}

QTEST_GUILESS_MAIN(tst_KIVO_Gate)
#include "tst_kivo_gate.moc"
