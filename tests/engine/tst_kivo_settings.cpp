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
    void loadValues_data();
    void loadValues();
    void writtenBytes_data();
    void writtenBytes();

private:
    KivoTestRoot m_root;
};

void tst_KIVO_Settings::init()
{
    unsetenv("VEK_APP_WRITE_PATH");
}

void tst_KIVO_Settings::iniPath_data()
{
    QTest::addColumn<QByteArray>("variable"); // null: unset
    QTest::addColumn<QString>("expectedPath");

    QTest::newRow("unset: default with two slashes")
        << QByteArray() << "/vek_user/download/appwrite//kivo/kivo.ini";
    QTest::newRow("set to /data") << QByteArray("/data") << "/data/kivo/kivo.ini";
    QTest::newRow("set but empty still counts as set") << QByteArray("") << "/kivo/kivo.ini";
}

void tst_KIVO_Settings::iniPath()
{
    QFETCH(QByteArray, variable);
    QFETCH(QString, expectedPath);

    if (!variable.isNull()) {
        qputenv("VEK_APP_WRITE_PATH", variable);
    }
    const QString directory = m_root.path(QFileInfo(expectedPath).path());
    QVERIFY(!QFileInfo(directory).isDir());
    QCOMPARE(iniFilePath(), expectedPath);
    // The directory is made under the root, never on the real path.
    QVERIFY(QFileInfo(directory).isDir());
    QDir(directory).removeRecursively();
}

void tst_KIVO_Settings::loadValues_data()
{
    QTest::addColumn<QByteArray>("file"); // null: no file
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
    QTest::newRow("valid: a key written by hand with plain blanks")
        << QByteArray("[KIVO]\nCell Sticker State=1\n") << 0 << 0 << 0 << -1 << 0 << 1;
    QTest::newRow("missing: defaults") << QByteArray() << 0 << 0 << 0 << -1 << 0 << 0;
    QTest::newRow("corrupt: other group and garbage values read as defaults")
        << QByteArray("[OTHER]\nkivo_mode=2\n[KIVO]\nstoredArfcn=abc\nmsg_warning_mode=\n") << 0
        << 0 << 0 << -1 << 0 << 0;
    QTest::newRow("corrupt: binary bytes")
        << QByteArray("\x00\xff\x01[KIVO\n=\n", 11) << 0 << 0 << 0 << -1 << 0 << 0;
}

void tst_KIVO_Settings::loadValues()
{
    QFETCH(QByteArray, file);
    if (file.isNull()) {
        m_root.remove(KivoTestRoot::defaultIniPath());
    } else {
        m_root.writeFile(KivoTestRoot::defaultIniPath(), file);
    }
    KIVO_Engine engine;
    // Values that loading must replace, whatever the file holds.
    engine.msg_warning_mode = engine.tone_warning_mode = engine.cell_sticker_mode = 9;
    engine.kivo_mode = engine.storedArfcn = engine.cellStickerState = 9;
    loadSettings(&engine);
    QTEST(int(engine.msg_warning_mode), "msg");
    QTEST(int(engine.tone_warning_mode), "tone");
    QTEST(engine.kivo_mode, "kivoMode");
    QTEST(engine.storedArfcn, "storedArfcn");
    QTEST(int(engine.cell_sticker_mode), "stickerMode");
    QTEST(engine.cellStickerState, "stickerState");
}

void tst_KIVO_Settings::writtenBytes_data()
{
    QTest::addColumn<QString>("store");
    QTest::addColumn<QString>("otherStore");
    QTest::addColumn<QByteArray>("key");
    QTest::addColumn<QByteArray>("bytes");

    const QString ini = KivoTestRoot::defaultIniPath();
    const QString volatileStore = QStringLiteral("/tmp/kivo");
    QTest::newRow("settings file: the sticker state key keeps its blanks")
        << ini << volatileStore << QByteArray("Cell Sticker State")
        << QByteArray("[KIVO]\nCell%20Sticker%20State=2\n");
    QTest::newRow("volatile store: cell barring only there")
        << volatileStore << ini << QByteArray("Cell Barring")
        << QByteArray("[KIVO]\nCell%20Barring=2\n");
}

// A missing store reads the default and is not created; a write makes exactly these bytes.
void tst_KIVO_Settings::writtenBytes()
{
    QFETCH(QString, store);
    QFETCH(QString, otherStore);
    QFETCH(QByteArray, key);
    QFETCH(QByteArray, bytes);

    m_root.remove(store);
    m_root.remove(otherStore);
    QDir().mkpath(m_root.path(QStringLiteral("/tmp")));
    const QByteArray path = store.toLocal8Bit();
    QCOMPARE(readIntEntry(path.constData(), key.constData(), 7), 7);
    QVERIFY(!m_root.exists(store));
    writeIntEntry(path.constData(), key.constData(), 2);
    QCOMPARE(m_root.readFile(store), bytes);
    QCOMPARE(readIntEntry(path.constData(), key.constData(), 0), 2);
    QVERIFY(!m_root.exists(otherStore));
}

QTEST_GUILESS_MAIN(tst_KIVO_Settings)
#include "tst_kivo_settings.moc"
