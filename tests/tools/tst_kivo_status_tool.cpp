// kivo-status as a field engineer runs it: hand-written settings files under the root, the
// text and JSON it prints, the settings it flags, and that it creates nothing.
#include "KivoTestRoot.h"
#include "ScratchMount.h"
#include "ToolRun.h"

#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTest>

#include <memory>

class tst_KIVO_StatusTool : public QObject {
    Q_OBJECT

private slots:
    void init();
    void settings_data();
    void settings();
    void flagged();
    void text();
    void followsAppWritePath();
    void usageError();
    void fileProblems_data();
    void fileProblems();
    void fullOutput();

private:
    void writeFiles(const QByteArray &settings, const QByteArray &volatileStore);
    KivoTestRoot m_root;
};

namespace {

QJsonObject runJson(const QStringList &environment = {})
{
    const ToolRun run = runTool(QStringLiteral(KIVO_STATUS_TOOL), {"--json"}, environment);
    return run.exitCode == 0 ? QJsonDocument::fromJson(run.out).object() : QJsonObject();
}

QStringList filesUnder(const QString &directory)
{
    QStringList files;
    QDirIterator it(directory, QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden,
                    QDirIterator::Subdirectories);
    while (it.hasNext()) {
        files << it.next();
    }
    return files;
}

} // namespace

void tst_KIVO_StatusTool::init()
{
    QDir(m_root.root()).removeRecursively();
    QDir().mkpath(m_root.root());
}

void tst_KIVO_StatusTool::writeFiles(const QByteArray &settings, const QByteArray &volatileStore)
{
    if (!settings.isNull()) {
        m_root.writeFile(KivoTestRoot::defaultIniPath(), settings);
    }
    if (!volatileStore.isNull()) {
        m_root.writeFile(QStringLiteral("/tmp/kivo"), volatileStore);
    }
}

void tst_KIVO_StatusTool::settings_data()
{
    QTest::addColumn<QByteArray>("settingsFile");
    QTest::addColumn<QByteArray>("volatileFile");
    QTest::addColumn<QString>("setting"); // "! " when flagged, the id, the value, the text

    // A null file is not written; a file without a group gets the KIVO group.
    const auto row = [](const char *name, const char *settings, const char *volatileStore,
                        const char *setting) {
        const auto file = [](const char *lines) {
            return !lines ? QByteArray()
                          : (lines[0] == '[' ? "" : "[KIVO]\n") + QByteArray(lines) + '\n';
        };
        QTest::newRow(name) << file(settings) << file(volatileStore) << QString::fromUtf8(setting);
    };
    row("kivo_mode 7 is unknown", "kivo_mode=7", nullptr,
        "! ftsAvailability 7 unknown value 7 (KIVO shows Permanently On)");
    row("sticker state written with plain blanks", "Cell Sticker State=1", nullptr,
        "! cellStickerState 1 ARFCN entered, request pending");
    row("sticker mode 256 reads as off", "cell_sticker_mode=256", nullptr,
        "  cellStickerMode 0 Off, stored as 256");
    row("tone warning 2 is unknown", "tone_warning_mode=2", nullptr,
        "! toneWarning 2 unknown value 2 (KIVO shows Off)");
    row("message warning on", "msg_warning_mode=1", nullptr, "! messageWarning 1 On");
    row("barring 7 is unknown", nullptr, "Cell Barring=7",
        "! cellBarAccess 7 unknown value 7 (KIVO shows Ignored)");
    row("barring only in /tmp/kivo", "Cell%20Barring=1", nullptr, "  cellBarAccess 0 Normal");

    // The band of a stored ARFCN at the edges of each GSM band.
    const QString bands = QStringLiteral(
        "0 E-GSM 900; 1 P-GSM 900; 124 P-GSM 900; 125 no GSM band; 128 GSM 850; 251 GSM 850; "
        "252 no GSM band; 259 GSM 450; 306 GSM 480; 511 no GSM band; 512 DCS 1800 or PCS 1900; "
        "810 DCS 1800 or PCS 1900; 811 DCS 1800; 885 DCS 1800; 886 no GSM band; 955 R-GSM 900; "
        "974 R-GSM 900; 975 E-GSM 900; 1023 E-GSM 900; 1024 no GSM band; -2 no GSM band");
    for (const QString &band : bands.split(QStringLiteral("; "))) {
        const QString arfcn = band.section(' ', 0, 0);
        QTest::newRow(qPrintable("band: " + band))
            << "[KIVO]\nstoredArfcn=" + arfcn.toLatin1() + '\n'
            << QByteArray()
            << QStringLiteral("! storedArfcn %1 %1 (%2)").arg(arfcn, band.section(' ', 1));
    }
}

void tst_KIVO_StatusTool::settings()
{
    QFETCH(QByteArray, settingsFile);
    QFETCH(QByteArray, volatileFile);
    QFETCH(QString, setting);

    writeFiles(settingsFile, volatileFile);
    const QJsonObject status = runJson();
    QVERIFY(!status.isEmpty());
    QCOMPARE(status["settingsFile"]["present"].toBool(), !settingsFile.isNull());
    QCOMPARE(status["volatileFile"]["present"].toBool(), !volatileFile.isNull());
    const QString id = setting.mid(2).section(' ', 0, 0);
    const QJsonValue made = status["settings"][id];
    // A setting is flagged exactly when it is not at its default.
    QCOMPARE(status["flagged"].toArray().contains(id), !made["default"].toBool());
    QCOMPARE(QStringLiteral("%1%2 %3 %4")
                 .arg(made["default"].toBool() ? "  " : "! ", id)
                 .arg(made["value"].toInt(-100))
                 .arg(made["text"].toString()),
             setting);
    if (id == QLatin1String("storedArfcn") && made["value"].toInt() != -1) {
        QCOMPARE(made["band"].toString(), setting.section('(', 1).chopped(1));
    }
}

void tst_KIVO_StatusTool::flagged()
{
    writeFiles("[KIVO]\nmsg_warning_mode=0\ntone_warning_mode=1\nkivo_mode=0\nstoredArfcn=975\n"
               "cell_sticker_mode=0\nCell%20Sticker%20State=0\n",
               "[KIVO]\nCell%20Barring=2\n");
    const QJsonObject status = runJson();
    QCOMPARE(status["flagged"].toArray(),
             QJsonArray({"storedArfcn", "cellBarAccess", "toneWarning"}));
    // A sticker that is not set gives no sticker hint; barring does.
    const QJsonArray hints = status["hints"].toArray();
    QCOMPARE(hints.size(), 1);
    QVERIFY(hints.at(0).toString().startsWith("Cell bar access was last set to Ignored"));
}

// The text with no files, then of a phone stuck on one cell; a read creates nothing.
void tst_KIVO_StatusTool::text()
{
    const QByteArray head = "KIVO status\nRoot            " + m_root.root().toLocal8Bit() + '\n';
    ToolRun run = runTool(QStringLiteral(KIVO_STATUS_TOOL), {});
    QCOMPARE(run.exitCode, 0);
    QCOMPARE(run.out, head + "Settings file   /vek_user/download/appwrite//kivo/kivo.ini (missing: "
                             "defaults shown)\n"
                             "Volatile file   /tmp/kivo (missing: defaults shown)\n"
                             "\n"
                             "  FTS availability    Off\n"
                             "  Cell sticker mode   Off\n"
                             "  Cell sticker state  none\n"
                             "  Stored ARFCN        none\n"
                             "  Cell bar access     Normal\n"
                             "  Message warning     Off\n"
                             "  Tone warning        Off\n"
                             "\n"
                             "Every setting has its default.\n");
    QCOMPARE(run.err, QByteArray());
    // KIVO itself creates the settings directory on every access; a status read must not.
    QCOMPARE(filesUnder(m_root.root()), QStringList());

    writeFiles("[KIVO]\nkivo_mode=2\nstoredArfcn=62\ncell_sticker_mode=1\n"
               "Cell%20Sticker%20State=2\n",
               "[KIVO]\nCell%20Barring=1\n");
    const QStringList before = filesUnder(m_root.root());
    const QByteArray settings = m_root.readFile(KivoTestRoot::defaultIniPath());
    run = runTool(QStringLiteral(KIVO_STATUS_TOOL), {});
    QCOMPARE(run.exitCode, 0);
    QCOMPARE(run.out,
             head + "Settings file   /vek_user/download/appwrite//kivo/kivo.ini\n"
                    "Volatile file   /tmp/kivo\n"
                    "\n"
                    "! FTS availability    Permanently On\n"
                    "! Cell sticker mode   On\n"
                    "! Cell sticker state  sticker set\n"
                    "! Stored ARFCN        62 (P-GSM 900)\n"
                    "! Cell bar access     Inverted\n"
                    "  Message warning     Off\n"
                    "  Tone warning        Off\n"
                    "\n"
                    "! marks a setting that differs from its default (5 of 7).\n"
                    "Can't find network? The cell sticker holds the phone on ARFCN 62 (P-GSM 900): "
                    "it camps on no other cell. To release it: Active Features > Cell Sticker, Set "
                    "Sticker Mode Off, then Set.\n"
                    "Can't find network? Cell bar access was last set to Inverted: the phone does "
                    "not treat barred cells as usual. Set it back with Active Features > Cell Bar "
                    "Access, Normal.\n");
    QCOMPARE(filesUnder(m_root.root()), before);
    QCOMPARE(m_root.readFile(KivoTestRoot::defaultIniPath()), settings);
}

void tst_KIVO_StatusTool::followsAppWritePath()
{
    m_root.writeFile(QStringLiteral("/data/kivo/kivo.ini"), "[KIVO]\nkivo_mode=2\n");
    writeFiles("[KIVO]\nkivo_mode=1\n", QByteArray());
    const QJsonObject status = runJson({"VEK_APP_WRITE_PATH=/data"});
    QCOMPARE(status["settingsFile"]["path"].toString(), QStringLiteral("/data/kivo/kivo.ini"));
    QCOMPARE(status["settings"]["ftsAvailability"]["value"], QJsonValue(2));
}

void tst_KIVO_StatusTool::usageError()
{
    const ToolRun run = runTool(QStringLiteral(KIVO_STATUS_TOOL), {"--xml"});
    QCOMPARE(run.exitCode, 2);
    QVERIFY(run.err.contains("unknown argument \"--xml\""));
    QVERIFY(run.err.contains("Usage: kivo-status [--json | --telephony]"));
    QCOMPARE(run.out, QByteArray());
}

void tst_KIVO_StatusTool::fileProblems_data()
{
    QTest::addColumn<QString>("store");
    QTest::addColumn<QString>("hazard");
    QTest::addColumn<QString>("readProblem"); // empty: none
    QTest::addColumn<QString>("writeProblem");

    const QString ini = KivoTestRoot::defaultIniPath();
    const QString tmp = QStringLiteral("/tmp/kivo");
    const QString odd = QStringLiteral("not a regular file");
    const QString notDir = QStringLiteral("Not a directory");
    QTest::newRow("settings file: a FIFO") << ini << "fifo" << odd << odd;
    QTest::newRow("volatile file: a directory") << tmp << "directory" << odd << odd;
    QTest::newRow("volatile file: /tmp is a file") << tmp << "parent is a file" << notDir << notDir;
    QTest::newRow("settings file: read-only file system")
        << ini << "read-only mount" << QString() << "Read-only file system";
    QTest::newRow("settings file: full disk")
        << ini << "full mount" << QString() << "No space left on device";
}

// A settings file KIVO cannot read or save is reported, and a FIFO is never waited on; the
// status read still changes nothing.
void tst_KIVO_StatusTool::fileProblems()
{
    QFETCH(QString, store);
    QFETCH(QString, hazard);
    QFETCH(QString, readProblem);
    QFETCH(QString, writeProblem);

    std::unique_ptr<ScratchMount> mount;
    QString skip;
    QVERIFY(m_root.placeHazard(store, hazard, "[KIVO]\nkivo_mode=1\n", &mount, &skip));
    if (!skip.isEmpty()) {
        QSKIP(qPrintable(skip));
    }
    const QStringList before = filesUnder(m_root.root());

    // A FIFO that is waited on holds the tool until the time-out: exit code -1.
    const ToolRun json =
        runTool(QStringLiteral(KIVO_STATUS_TOOL), {"--json"}, {}, QString(), 20000);
    QCOMPARE(json.exitCode, 0);
    const QJsonObject file =
        QJsonDocument::fromJson(json.out)
            .object()[store == KivoTestRoot::defaultIniPath() ? "settingsFile" : "volatileFile"]
            .toObject();
    QCOMPARE(file["readProblem"], readProblem.isEmpty() ? QJsonValue() : QJsonValue(readProblem));
    QCOMPARE(file["writeProblem"], QJsonValue(writeProblem));
    QCOMPARE(file["writable"], QJsonValue(false));

    const ToolRun text = runTool(QStringLiteral(KIVO_STATUS_TOOL), {}, {}, QString(), 20000);
    QCOMPARE(text.exitCode, 0);
    // The file's lines in the text.
    const QString line =
        (store == KivoTestRoot::defaultIniPath() ? "Settings file   " + store
                                                 : "Volatile file   " + store) +
        (readProblem.isEmpty() ? QString() : " (unreadable: " + readProblem + "; defaults shown)") +
        "\n                not writable: " + writeProblem + "; KIVO's changes to it are lost\n";
    QVERIFY2(text.out.contains(line.toLocal8Bit()), text.out);
    QCOMPARE(text.err, QByteArray());
    if (store == KivoTestRoot::defaultIniPath() && readProblem.isEmpty()) {
        QCOMPARE(file["present"], QJsonValue(true));
        QVERIFY(text.out.contains("! FTS availability    Temporarily On"));
    }
    QCOMPARE(filesUnder(m_root.root()), before);
}

// Output that cannot be written is an error, not a success that printed nothing. The text, the
// JSON and the usage all go out through one write.
void tst_KIVO_StatusTool::fullOutput()
{
    QProcess process;
    process.setStandardOutputFile(QStringLiteral("/dev/full"));
    process.start(QStringLiteral(KIVO_STATUS_TOOL), QStringList());
    const ToolRun run = finishTool(process, 20000);
    QCOMPARE(run.exitCode, 1);
    QCOMPARE(run.err,
             QByteArray("kivo-status: cannot write to standard output: No space left on device\n"));
}

QTEST_GUILESS_MAIN(tst_KIVO_StatusTool)
#include "tst_kivo_status_tool.moc"
