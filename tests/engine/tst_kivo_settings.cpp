// The settings store as a user sees it: where the files are, what loads, what is written.
#include "KIVO_Engine.h"
#include "KIVO_Settings.h"
#include "KivoTestRoot.h"
#include "PlConfig.h"
#include "ScratchMount.h"
#include "StderrCapture.h"

#include <QFileInfo>
#include <QTest>

#include <cstdlib>
#include <memory>

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
    void failedWrite_data();
    void failedWrite();

private:
    KivoTestRoot m_root;
};

void tst_KIVO_Settings::init()
{
    unsetenv("VEK_APP_WRITE_PATH");
    QDir(m_root.root()).removeRecursively();
    QDir().mkpath(m_root.root());
}

void tst_KIVO_Settings::iniPath_data()
{
    QTest::addColumn<QByteArray>("variable"); // null: unset
    QTest::addColumn<QString>("expectedPath");

    QTest::newRow("unset: default with two slashes")
        << QByteArray() << "/vek_user/download/appwrite//kivo/kivo.ini";
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
    QTest::addColumn<QByteArray>("file");
    // msg_warning_mode tone_warning_mode kivo_mode storedArfcn cell_sticker_mode, sticker state
    QTest::addColumn<QString>("fields");
    QTest::addColumn<qint64>("modified"); // the file's time; 0: the time of writing

    // Stamped in 2040 by a clock that ran ahead: stat() with a 32-bit time_t refuses the file.
    QTest::newRow("valid: every key, in a file stamped in 2040")
        << QByteArray("[KIVO]\nmsg_warning_mode=1\ntone_warning_mode=1\nkivo_mode=2\n"
                      "storedArfcn=62\ncell_sticker_mode=1\nCell%20Sticker%20State=2\n")
        << "1 1 2 62 1 2" << qint64(2214129600);
    QTest::newRow("valid: 8-bit fields keep the low 8 bits")
        << QByteArray("[KIVO]\nmsg_warning_mode=257\ntone_warning_mode=258\n"
                      "cell_sticker_mode=513\nkivo_mode=257\n")
        << "1 2 257 -1 1 0" << qint64(0);
    QTest::newRow("valid: an ARFCN written unsigned reads back as -1")
        << QByteArray("[KIVO]\nstoredArfcn=4294967295\n") << "0 0 0 -1 0 0" << qint64(0);
    QTest::newRow("valid: a key written by hand with plain blanks")
        << QByteArray("[KIVO]\nCell Sticker State=1\n") << "0 0 0 -1 0 1" << qint64(0);
    // The size bound lets the largest store through: only a byte more is refused.
    const QByteArray head("[KIVO]\nkivo_mode=2\n;");
    QTest::newRow("valid: a file of exactly the size bound")
        << head + QByteArray(PlConfig::sizeLimit - head.size() - 1, 'x') + '\n'
        << "0 0 2 -1 0 0" << qint64(0);
    QTest::newRow("corrupt: other group and garbage values read as defaults")
        << QByteArray("[OTHER]\nkivo_mode=2\n[KIVO]\nstoredArfcn=abc\nmsg_warning_mode=\n")
        << "0 0 0 -1 0 0" << qint64(0);
}

void tst_KIVO_Settings::loadValues()
{
    QFETCH(QByteArray, file);
    QFETCH(qint64, modified);
    m_root.writeFile(KivoTestRoot::defaultIniPath(), file);
    if (modified != 0) {
        QVERIFY(setModifiedTime(QFile::encodeName(m_root.path(KivoTestRoot::defaultIniPath())),
                                modified));
    }
    KIVO_Engine engine;
    // Values that loading must replace, whatever the file holds.
    engine.msg_warning_mode = engine.tone_warning_mode = engine.cell_sticker_mode = 9;
    engine.kivo_mode = engine.storedArfcn = engine.cellStickerState = 9;
    loadSettings(&engine);
    QTEST(QString::asprintf("%d %d %d %d %d %d", engine.msg_warning_mode, engine.tone_warning_mode,
                            engine.kivo_mode, engine.storedArfcn, engine.cell_sticker_mode,
                            engine.cellStickerState),
          "fields");
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

void tst_KIVO_Settings::failedWrite_data()
{
    QTest::addColumn<QString>("store");
    QTest::addColumn<QString>("hazard");
    QTest::addColumn<QByteArray>("key");
    QTest::addColumn<QString>("reason");

    const QString ini = KivoTestRoot::defaultIniPath();
    const QString volatileStore = QStringLiteral("/tmp/kivo");
    const QByteArray state = kKeyStickerState;
    const QByteArray barring = kKeyCellBarring;
    // Unreadable: read as the defaults without waiting on the path, and never replaced.
    QTest::newRow("volatile store: /tmp is a file")
        << volatileStore << "parent is a file" << barring << "Not a directory";
    QTest::newRow("settings file: a FIFO in its place")
        << ini << "fifo" << state << "not a regular file";
    QTest::newRow("volatile store: a link to a device")
        << volatileStore << "device" << barring << "a symbolic link";
    // Someone else's file in the store's place: neither followed nor written through.
    QTest::newRow("volatile store: a link to another file")
        << volatileStore << "link to a file" << barring << "a symbolic link";
    QTest::newRow("settings file: another user's file")
        << ini << "foreign owner" << state << "owned by user 65534";
    QTest::newRow("settings file: larger than any real one")
        << ini << "too large" << state << "larger than 65536 bytes";
    // Readable, but the save fails: the file keeps what it held.
    QTest::newRow("settings file: read-only file system")
        << ini << "read-only mount" << state << "Read-only file system";
    QTest::newRow("settings file: full disk")
        << ini << "full mount" << state << "No space left on device";
    QTest::newRow("settings file: read-only file")
        << ini << "read-only file" << state << "Permission denied";
    // The lock is given up after about a second; a link in its place is not touched.
    QTest::newRow("volatile store: a live process holds the lock")
        << volatileStore << "live lock" << barring
        << "its lock file /tmp/kivo.lock is held by another process";
    QTest::newRow("volatile store: the lock file is a link")
        << volatileStore << "linked lock" << barring
        << "its lock file /tmp/kivo.lock is a symbolic link";
}

// A store that cannot be read gives the defaults with one trace for the whole load, and a FIFO in
// its place is never opened (the test would hang); a write that
// is not saved leaves one trace line with the key and the reason, and the store as it was: what
// a restart would read is what the file holds.
void tst_KIVO_Settings::failedWrite()
{
    QFETCH(QString, store);
    QFETCH(QString, hazard);
    QFETCH(QByteArray, key);
    QFETCH(QString, reason);

    const QString full = m_root.path(store);
    const QByteArray path = store.toLocal8Bit(), why = reason.toLocal8Bit();
    const QByteArray before = "[KIVO]\n" + QByteArray(key).replace(' ', "%20") + "=1\n";
    std::unique_ptr<ScratchMount> mount;
    QString skip;
    QVERIFY(m_root.placeHazard(store, hazard, before, &mount, &skip));
    if (!skip.isEmpty()) {
        QSKIP(qPrintable(skip));
    }
    const bool readable = hazard.endsWith(QLatin1String("mount")) ||
                          hazard.endsWith(QLatin1String("lock")) ||
                          hazard == QLatin1String("read-only file");
    const QFileInfo placed(full);
    const bool regular = placed.isFile();
    KIVO_Engine engine; // made before the capture: it traces its start
    engine.storedArfcn = engine.cellStickerState = 9;

    StderrCapture capture;
    int value = 7; // what the unreadable store reads as
    if (!readable && store == KivoTestRoot::defaultIniPath()) {
        loadSettings(&engine);
        value = engine.storedArfcn == -1 && engine.cellStickerState == 0 ? 7 : -99;
    } else if (!readable) {
        value = readIntEntry(path.constData(), key.constData(), 7);
    }
    // The link leads to the real /dev/null, which a faulty store would replace: read only.
    const bool writes = hazard != QLatin1String("device");
    if (writes) {
        writeIntEntry(path.constData(), key.constData(), 2);
    }
    const QByteArray traces = capture.text();
    QCOMPARE(value, 7);
    const QByteArray unreadable =
        "[KIVO] PlConfig " + path + " unreadable: " + why + ", defaults used\r\n";
    const QByteArray unsaved =
        "[KIVO] PlConfig::writeEntry \"" + key + "\"=2 not saved in " + path + ": " + why + "\r\n";
    QCOMPARE(traces, (readable ? QByteArray() : unreadable) + (writes ? unsaved : QByteArray()));
    // The file, or the file a link leads to, as it was.
    const QFileInfo after(full);
    QCOMPARE(after.isFile(), regular);
    if (regular) {
        QCOMPARE(m_root.readFile(store).left(before.size()), before);
        QCOMPARE(after.size(), placed.size());
        QCOMPARE(after.isSymLink(), placed.isSymLink());
        QCOMPARE(after.ownerId(), placed.ownerId());
    }
}

QTEST_GUILESS_MAIN(tst_KIVO_Settings)
#include "tst_kivo_settings.moc"
