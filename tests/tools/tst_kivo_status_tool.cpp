// kivo-status as a field engineer runs it: hand-written settings files under the root, the
// text and JSON it prints, the settings it flags, and that it creates nothing.
#include "KivoTestRoot.h"
#include "ToolRun.h"

#include <QDirIterator>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTest>

class tst_KIVO_StatusTool : public QObject {
    Q_OBJECT

private slots:
    void init();
    void settings_data();
    void settings();
    void band_data();
    void band();
    void flagged();
    void text_data();
    void text();
    void readCreatesNothing();
    void followsAppWritePath();
    void usageError();

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
    QTest::addColumn<QString>("id");
    QTest::addColumn<int>("value");
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("isDefault");

    const auto row = [](const char *name, const char *settings, const char *volatileStore,
                        const char *id, int value, const char *text, bool isDefault) {
        QTest::newRow(name) << QByteArray(settings) << QByteArray(volatileStore) << id << value
                            << text << isDefault;
    };
    // A null file is not written.
    row("no files: FTS off", nullptr, nullptr, "ftsAvailability", 0, "Off", true);
    row("no files: no stored ARFCN", nullptr, nullptr, "storedArfcn", -1, "none", true);
    row("no files: barring normal", nullptr, nullptr, "cellBarAccess", 0, "Normal", true);
    row("FTS temporarily on", "[KIVO]\nkivo_mode=1\n", nullptr, "ftsAvailability", 1,
        "Temporarily On", false);
    row("kivo_mode 7 is unknown", "[KIVO]\nkivo_mode=7\n", nullptr, "ftsAvailability", 7,
        "unknown value 7 (KIVO shows Permanently On)", false);
    row("sticker state written with %20", "[KIVO]\nCell%20Sticker%20State=2\n", nullptr,
        "cellStickerState", 2, "sticker set", false);
    row("sticker state written with plain blanks", "[KIVO]\nCell Sticker State=1\n", nullptr,
        "cellStickerState", 1, "ARFCN entered, request pending", false);
    row("storedArfcn written unsigned is none", "[KIVO]\nstoredArfcn=4294967295\n", nullptr,
        "storedArfcn", -1, "none", true);
    row("sticker mode keeps the low 8 bits", "[KIVO]\ncell_sticker_mode=257\n", nullptr,
        "cellStickerMode", 1, "On, stored as 257", false);
    row("sticker mode 256 reads as off", "[KIVO]\ncell_sticker_mode=256\n", nullptr,
        "cellStickerMode", 0, "Off, stored as 256", true);
    row("tone warning 2 is unknown", "[KIVO]\ntone_warning_mode=2\n", nullptr, "toneWarning", 2,
        "unknown value 2 (KIVO shows Off)", false);
    row("message warning on", "[KIVO]\nmsg_warning_mode=1\n", nullptr, "messageWarning", 1, "On",
        false);
    row("barring inverted", nullptr, "[KIVO]\nCell%20Barring=1\n", "cellBarAccess", 1, "Inverted",
        false);
    row("barring 7 is unknown", nullptr, "[KIVO]\nCell Barring=7\n", "cellBarAccess", 7,
        "unknown value 7 (KIVO shows Ignored)", false);
    row("barring only in /tmp/kivo", "[KIVO]\nCell%20Barring=1\n", nullptr, "cellBarAccess", 0,
        "Normal", true);
    row("key outside the KIVO group", "[Other]\nkivo_mode=2\n", nullptr, "ftsAvailability", 0,
        "Off", true);
}

void tst_KIVO_StatusTool::settings()
{
    QFETCH(QByteArray, settingsFile);
    QFETCH(QByteArray, volatileFile);
    QFETCH(QString, id);
    QFETCH(int, value);
    QFETCH(QString, text);
    QFETCH(bool, isDefault);

    writeFiles(settingsFile, volatileFile);
    const QJsonObject status = runJson();
    QVERIFY(!status.isEmpty());
    QCOMPARE(status["settingsFile"]["present"].toBool(), !settingsFile.isNull());
    QCOMPARE(status["volatileFile"]["present"].toBool(), !volatileFile.isNull());
    const QJsonValue setting = status["settings"][id];
    QCOMPARE(setting["value"].toInt(-100), value);
    QCOMPARE(setting["text"].toString(), text);
    QCOMPARE(setting["default"].toBool(), isDefault);
    QCOMPARE(status["flagged"].toArray().contains(id), !isDefault);
}

void tst_KIVO_StatusTool::band_data()
{
    QTest::addColumn<int>("arfcn");
    QTest::addColumn<QString>("band");

    const QString rows = QStringLiteral(
        "0 E-GSM 900; 1 P-GSM 900; 124 P-GSM 900; 125 no GSM band; 128 GSM 850; 251 GSM 850; "
        "252 no GSM band; 259 GSM 450; 306 GSM 480; 511 no GSM band; 512 DCS 1800 or PCS 1900; "
        "810 DCS 1800 or PCS 1900; 811 DCS 1800; 885 DCS 1800; 886 no GSM band; 955 R-GSM 900; "
        "974 R-GSM 900; 975 E-GSM 900; 1023 E-GSM 900; 1024 no GSM band; -2 no GSM band");
    for (const QString &row : rows.split(QStringLiteral("; "))) {
        QTest::newRow(qPrintable(row)) << row.section(' ', 0, 0).toInt() << row.section(' ', 1);
    }
}

void tst_KIVO_StatusTool::band()
{
    QFETCH(int, arfcn);
    QFETCH(QString, band);

    writeFiles("[KIVO]\nstoredArfcn=" + QByteArray::number(arfcn) + '\n', QByteArray());
    const QJsonObject status = runJson();
    const QJsonValue stored = status["settings"]["storedArfcn"];
    QCOMPARE(stored["value"].toInt(-100), arfcn);
    QCOMPARE(stored["band"].toString(), band);
    QCOMPARE(stored["text"].toString(), QStringLiteral("%1 (%2)").arg(arfcn).arg(band));
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

void tst_KIVO_StatusTool::text_data()
{
    QTest::addColumn<QByteArray>("settingsFile");
    QTest::addColumn<QByteArray>("volatileFile");
    QTest::addColumn<QByteArray>("text"); // after the root's line

    QTest::newRow("a phone stuck on one cell")
        << QByteArray("[KIVO]\nkivo_mode=2\nstoredArfcn=62\ncell_sticker_mode=1\n"
                      "Cell%20Sticker%20State=2\n")
        << QByteArray("[KIVO]\nCell%20Barring=1\n")
        << QByteArray(
               "Settings file   /vek_user/download/appwrite//kivo/kivo.ini\n"
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
               "Can't find network? The cell sticker holds the phone on ARFCN 62 (P-GSM 900): it "
               "camps on no other cell. To release it: Active Features > Cell Sticker, Set Sticker "
               "Mode Off, then Set.\n"
               "Can't find network? Cell bar access was last set to Inverted: the phone does not "
               "treat barred cells as usual. Set it back with Active Features > Cell Bar Access, "
               "Normal.\n");
    QTest::newRow("no files")
        << QByteArray() << QByteArray()
        << QByteArray("Settings file   /vek_user/download/appwrite//kivo/kivo.ini (missing: "
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
}

void tst_KIVO_StatusTool::text()
{
    QFETCH(QByteArray, settingsFile);
    QFETCH(QByteArray, volatileFile);
    QFETCH(QByteArray, text);

    writeFiles(settingsFile, volatileFile);
    const ToolRun run = runTool(QStringLiteral(KIVO_STATUS_TOOL), {});
    QCOMPARE(run.exitCode, 0);
    QCOMPARE(run.out, "KIVO status\nRoot            " + m_root.root().toLocal8Bit() + '\n' + text);
    QCOMPARE(run.err, QByteArray());
}

void tst_KIVO_StatusTool::readCreatesNothing()
{
    // KIVO itself creates the settings directory on every access; a status read must not.
    QVERIFY(!runJson().isEmpty());
    QCOMPARE(filesUnder(m_root.root()), QStringList());

    writeFiles("[KIVO]\nkivo_mode=1\n", "[KIVO]\nCell%20Barring=1\n");
    const QStringList before = filesUnder(m_root.root());
    const QByteArray settings = m_root.readFile(KivoTestRoot::defaultIniPath());
    QCOMPARE(runTool(QStringLiteral(KIVO_STATUS_TOOL), {}).exitCode, 0);
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
    QVERIFY(run.err.contains("Usage: kivo-status [--json]"));
    QCOMPARE(run.out, QByteArray());
}

QTEST_GUILESS_MAIN(tst_KIVO_StatusTool)
#include "tst_kivo_status_tool.moc"
