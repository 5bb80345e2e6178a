// The settings store as a user sees it: where the files are, what loads, what is written.
#include "KIVO_Engine.h"
#include "KIVO_Settings.h"
#include "KivoTestRoot.h"

#include <QFileInfo>
#include <QTest>

#include <cstdlib>

class tst_KIVO_Settings : public QObject {
    Q_OBJECT

private slots:
    void init();
    void iniPath_data();
    void iniPath();
    void defaultsWithNoFile();
    void loadValues_data();
    void loadValues();
    void stickerStateKeyKeepsItsBlanks();
    void cellBarringOnlyInVolatileFile();
    void missingVolatileFileReadsDefault();

private:
    KivoTestRoot m_root;
};

void tst_KIVO_Settings::init()
{
    unsetenv("VEK_APP_WRITE_PATH");
}

void tst_KIVO_Settings::iniPath_data()
{
    QTest::addColumn<bool>("setVariable");
    QTest::addColumn<QByteArray>("variable");
    QTest::addColumn<QString>("expectedPath");
    QTest::addColumn<QString>("expectedDirectory");

    QTest::newRow("unset: default with two slashes")
        << false << QByteArray() << "/vek_user/download/appwrite//kivo/kivo.ini"
        << "/vek_user/download/appwrite/kivo";
    QTest::newRow("set to /data") << true << QByteArray("/data") << "/data/kivo/kivo.ini"
                                  << "/data/kivo";
    QTest::newRow("set but empty still counts as set")
        << true << QByteArray("") << "/kivo/kivo.ini" << "/kivo";
}

void tst_KIVO_Settings::iniPath()
{
    QFETCH(bool, setVariable);
    QFETCH(QByteArray, variable);
    QFETCH(QString, expectedPath);
    QFETCH(QString, expectedDirectory);

    if (setVariable) {
        qputenv("VEK_APP_WRITE_PATH", variable);
    }
    QVERIFY(!QFileInfo(m_root.path(expectedDirectory)).isDir());
    QCOMPARE(iniFilePath(), expectedPath);
    // The directory is made under the root, never on the real path.
    QVERIFY(QFileInfo(m_root.path(expectedDirectory)).isDir());
    QDir(m_root.path(expectedDirectory)).removeRecursively();
}

void tst_KIVO_Settings::defaultsWithNoFile()
{
    m_root.remove(KivoTestRoot::defaultIniPath());
    KIVO_Engine engine;
    engine.msg_warning_mode = 9;
    engine.tone_warning_mode = 9;
    engine.kivo_mode = 9;
    engine.storedArfcn = 9;
    engine.cell_sticker_mode = 9;
    engine.cellStickerState = 9;
    loadSettings(&engine);
    QCOMPARE(int(engine.msg_warning_mode), 0);
    QCOMPARE(int(engine.tone_warning_mode), 0);
    QCOMPARE(engine.kivo_mode, 0);
    QCOMPARE(engine.storedArfcn, -1);
    QCOMPARE(int(engine.cell_sticker_mode), 0);
    QCOMPARE(engine.cellStickerState, 0);
}

void tst_KIVO_Settings::loadValues_data()
{
    QTest::addColumn<QByteArray>("file");
    QTest::addColumn<int>("msg");
    QTest::addColumn<int>("tone");
    QTest::addColumn<int>("kivoMode");
    QTest::addColumn<int>("storedArfcn");
    QTest::addColumn<int>("stickerMode");
    QTest::addColumn<int>("stickerState");

    QTest::newRow("valid: every key")
        << QByteArray("[KIVO]\nmsg_warning_mode=1\ntone_warning_mode=1\nkivo_mode=2\n"
                      "storedArfcn=62\ncell_sticker_mode=1\nCell%20Sticker%20State=2\n")
        << 1 << 1 << 2 << 62 << 1 << 2;
    QTest::newRow("valid: 8-bit fields keep the low 8 bits")
        << QByteArray("[KIVO]\nmsg_warning_mode=257\ntone_warning_mode=258\n"
                      "cell_sticker_mode=513\nkivo_mode=257\n")
        << 1 << 2 << 257 << -1 << 1 << 0;
    QTest::newRow("valid: an ARFCN written unsigned reads back as -1")
        << QByteArray("[KIVO]\nstoredArfcn=4294967295\n") << 0 << 0 << 0 << -1 << 0 << 0;
    QTest::newRow("corrupt: other group and garbage values read as defaults")
        << QByteArray("[OTHER]\nkivo_mode=2\n[KIVO]\nstoredArfcn=abc\nmsg_warning_mode=\n")
        << 0 << 0 << 0 << -1 << 0 << 0;
    QTest::newRow("corrupt: binary bytes") << QByteArray("\x00\xff\x01[KIVO\n=\n", 11) << 0
                                           << 0 << 0 << -1 << 0 << 0;
}

void tst_KIVO_Settings::loadValues()
{
    QFETCH(QByteArray, file);
    m_root.writeFile(KivoTestRoot::defaultIniPath(), file);
    KIVO_Engine engine;
    loadSettings(&engine);
    QTEST(int(engine.msg_warning_mode), "msg");
    QTEST(int(engine.tone_warning_mode), "tone");
    QTEST(engine.kivo_mode, "kivoMode");
    QTEST(engine.storedArfcn, "storedArfcn");
    QTEST(int(engine.cell_sticker_mode), "stickerMode");
    QTEST(engine.cellStickerState, "stickerState");
}

void tst_KIVO_Settings::stickerStateKeyKeepsItsBlanks()
{
    m_root.remove(KivoTestRoot::defaultIniPath());
    writeIntEntry(iniFilePath().toLocal8Bit().constData(), "Cell Sticker State", 2);
    const QByteArray written = m_root.readFile(KivoTestRoot::defaultIniPath());
    QVERIFY2(written.contains("[KIVO]\n"), written.constData());
    QVERIFY2(written.contains("Cell%20Sticker%20State=2\n"), written.constData());

    // A key written by hand with plain blanks reads the same.
    m_root.writeFile(KivoTestRoot::defaultIniPath(), "[KIVO]\nCell Sticker State=1\n");
    QCOMPARE(readIntEntry(iniFilePath().toLocal8Bit().constData(), "Cell Sticker State", 0), 1);
}

void tst_KIVO_Settings::cellBarringOnlyInVolatileFile()
{
    m_root.remove(KivoTestRoot::defaultIniPath());
    m_root.remove(QStringLiteral("/tmp/kivo"));
    QDir().mkpath(m_root.path(QStringLiteral("/tmp")));
    writeIntEntry("/tmp/kivo", "Cell Barring", 1);
    QCOMPARE(m_root.readFile(QStringLiteral("/tmp/kivo")), QByteArray("[KIVO]\nCell%20Barring=1\n"));
    QVERIFY(!m_root.exists(KivoTestRoot::defaultIniPath()));
    QCOMPARE(readIntEntry("/tmp/kivo", "Cell Barring", 0), 1);
}

void tst_KIVO_Settings::missingVolatileFileReadsDefault()
{
    m_root.remove(QStringLiteral("/tmp/kivo"));
    QCOMPARE(readIntEntry("/tmp/kivo", "Cell Barring", 0), 0);
    QVERIFY(!m_root.exists(QStringLiteral("/tmp/kivo")));
}

QTEST_GUILESS_MAIN(tst_KIVO_Settings)
#include "tst_kivo_settings.moc"
