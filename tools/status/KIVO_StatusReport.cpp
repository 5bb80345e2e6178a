#include "KIVO_StatusReport.h"

#include "KIVO_Settings.h"
#include "PlConfig.h"
#include "PlRoot.h"

#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QStringList>

namespace {

// How the report shows a row of the settings table.
struct Definition {
    const char *id;
    const char *label;
    const char *key;
    // The meaning of 0, 1, ...; empty for the stored ARFCN.
    QStringList names;
    // What KIVO's screen shows for a value outside `names`, empty when it shows none of them.
    QString shownForUnknown;
};

const QList<Definition> &definitions()
{
    static const QList<Definition> list = {
        {"ftsAvailability",
         "FTS availability",
         kKeyKivoMode,
         {"Off", "Temporarily On", "Permanently On"},
         "Permanently On"},
        {"cellStickerMode", "Cell sticker mode", kKeyStickerMode, {"Off", "On"}, "Off"},
        {"cellStickerState",
         "Cell sticker state",
         kKeyStickerState,
         {"none", "ARFCN entered, request pending", "sticker set"},
         QString()},
        {"storedArfcn", "Stored ARFCN", kKeyStoredArfcn, {}, QString()},
        {"cellBarAccess",
         "Cell bar access",
         kKeyCellBarring,
         {"Normal", "Inverted", "Ignored"},
         "Ignored"},
        {"messageWarning", "Message warning", kKeyMsgWarning, {"Off", "On"}, "Off"},
        {"toneWarning", "Tone warning", kKeyToneWarning, {"Off", "On"}, "Off"},
    };
    return list;
}

KIVO_StatusReport::File fileAt(const QString &devicePath)
{
    return {devicePath, QFileInfo(plRootedPath(devicePath)).isFile(),
            PlConfig::readProblem(devicePath), PlConfig::writeProblem(devicePath)};
}

// A file KIVO cannot read gives it the defaults; it is not opened here either.
KIVO_StatusReport::Setting reportSetting(const Definition &definition,
                                         const KIVO_StatusReport::File &file)
{
    const KIVO_Setting &row = settingFor(definition.key);
    KIVO_StatusReport::Setting setting;
    setting.id = QString::fromLatin1(definition.id);
    setting.label = QString::fromLatin1(definition.label);
    setting.key = QString::fromLatin1(definition.key);
    setting.stored = file.readProblem.isEmpty() ? readIntEntry(file.path.toLocal8Bit().constData(),
                                                               row.key, row.defaultValue)
                                                : row.defaultValue;
    setting.value = row.held(setting.stored);
    setting.isDefault = setting.value == row.defaultValue;

    if (definition.names.isEmpty()) {
        // The stored ARFCN: written unsigned, read back as an int, so 4294967295 is -1.
        if (setting.value == -1) {
            setting.text = QStringLiteral("none");
        } else {
            setting.band = KIVO_StatusReport::gsmBand(setting.value);
            setting.text = QStringLiteral("%1 (%2)").arg(setting.value).arg(setting.band);
        }
    } else if (setting.value >= 0 && setting.value < definition.names.size()) {
        setting.text = definition.names.at(setting.value);
    } else {
        setting.known = false;
        setting.text = QStringLiteral("unknown value %1").arg(setting.value);
        if (!definition.shownForUnknown.isEmpty()) {
            setting.text += QStringLiteral(" (KIVO shows %1)").arg(definition.shownForUnknown);
        }
    }
    if (setting.stored != setting.value) {
        setting.text += QStringLiteral(", stored as %1").arg(setting.stored);
    }
    return setting;
}

QString fileLine(const QString &label, const KIVO_StatusReport::File &file)
{
    QString line = label.leftJustified(16) + file.path;
    if (!file.readProblem.isEmpty()) {
        line += QStringLiteral(" (unreadable: %1; defaults shown)").arg(file.readProblem);
    } else if (!file.present) {
        line += QStringLiteral(" (missing: defaults shown)");
    }
    if (!file.writeProblem.isEmpty()) {
        line += QLatin1Char('\n') + QString(16, QLatin1Char(' ')) +
                QStringLiteral("not writable: %1; KIVO's changes to it are lost")
                    .arg(file.writeProblem);
    }
    return line + QLatin1Char('\n');
}

QJsonValue problemJson(const QString &problem)
{
    return problem.isEmpty() ? QJsonValue() : QJsonValue(problem);
}

QJsonObject fileJson(const KIVO_StatusReport::File &file)
{
    return {{QStringLiteral("path"), file.path},
            {QStringLiteral("present"), file.present},
            {QStringLiteral("writable"), file.writeProblem.isEmpty()},
            {QStringLiteral("readProblem"), problemJson(file.readProblem)},
            {QStringLiteral("writeProblem"), problemJson(file.writeProblem)}};
}

} // namespace

KIVO_StatusReport KIVO_StatusReport::read()
{
    KIVO_StatusReport report;
    report.m_root = QString::fromLocal8Bit(plRoot());
    // iniFilePath() would create the settings directory; a status read changes nothing.
    report.m_settingsFile = fileAt(iniFileLocation());
    report.m_volatileFile = fileAt(QString::fromLatin1(kVolatilePath));
    for (const Definition &definition : definitions()) {
        const bool isVolatile = settingFor(definition.key).store == KIVO_Setting::Store::Volatile;
        report.m_settings << reportSetting(definition, isVolatile ? report.m_volatileFile
                                                                  : report.m_settingsFile);
    }
    return report;
}

QString KIVO_StatusReport::gsmBand(int arfcn)
{
    // The 900 MHz bands nest: P-GSM 1-124 lies in E-GSM (0-124, 975-1023), which lies in
    // R-GSM (0-124, 955-1023).
    if (arfcn >= 1 && arfcn <= 124) {
        return QStringLiteral("P-GSM 900");
    }
    if (arfcn == 0 || (arfcn >= 975 && arfcn <= 1023)) {
        return QStringLiteral("E-GSM 900");
    }
    if (arfcn >= 955 && arfcn <= 974) {
        return QStringLiteral("R-GSM 900");
    }
    if (arfcn >= 128 && arfcn <= 251) {
        return QStringLiteral("GSM 850");
    }
    if (arfcn >= 259 && arfcn <= 293) {
        return QStringLiteral("GSM 450");
    }
    if (arfcn >= 306 && arfcn <= 340) {
        return QStringLiteral("GSM 480");
    }
    // DCS 1800 is 512-885 and PCS 1900 512-810: the number alone cannot tell them apart.
    if (arfcn >= 512 && arfcn <= 810) {
        return QStringLiteral("DCS 1800 or PCS 1900");
    }
    if (arfcn >= 811 && arfcn <= 885) {
        return QStringLiteral("DCS 1800");
    }
    return QStringLiteral("no GSM band");
}

const KIVO_StatusReport::Setting &KIVO_StatusReport::setting(const QString &id) const
{
    for (const Setting &setting : m_settings) {
        if (setting.id == id) {
            return setting;
        }
    }
    Q_UNREACHABLE();
}

QList<const KIVO_StatusReport::Setting *> KIVO_StatusReport::flagged() const
{
    QList<const Setting *> list;
    for (const Setting &setting : m_settings) {
        if (!setting.isDefault) {
            list << &setting;
        }
    }
    return list;
}

// What to look at first when the phone "can't find network".
QStringList KIVO_StatusReport::hints() const
{
    QStringList list;
    const Setting &state = setting(QStringLiteral("cellStickerState"));
    const Setting &arfcn = setting(QStringLiteral("storedArfcn"));
    if (state.value == 2) {
        const QString where = arfcn.value == -1 ? QStringLiteral("an ARFCN that was not stored")
                                                : QStringLiteral("ARFCN ") + arfcn.text;
        list << QStringLiteral("The cell sticker holds the phone on ") + where +
                    QStringLiteral(": it camps on no other cell. To release it: Active "
                                   "Features > Cell Sticker, Set Sticker Mode Off, then Set.");
    } else if (state.value == 1) {
        list << QStringLiteral("A cell sticker ARFCN was entered and no outcome was recorded: "
                               "the phone may be held on one ARFCN. Check Active Features > "
                               "Cell Sticker.");
    }
    const Setting &barring = setting(QStringLiteral("cellBarAccess"));
    if (!barring.isDefault) {
        list << QStringLiteral("Cell bar access was last set to %1: the phone does not treat "
                               "barred cells as usual. Set it back with Active Features > Cell "
                               "Bar Access, Normal.")
                    .arg(barring.text);
    }
    return list;
}

QString KIVO_StatusReport::text() const
{
    QString out = QStringLiteral("KIVO status\n");
    if (!m_root.isEmpty()) {
        out += QStringLiteral("Root").leftJustified(16) + m_root + QLatin1Char('\n');
    }
    out += fileLine(QStringLiteral("Settings file"), m_settingsFile);
    out += fileLine(QStringLiteral("Volatile file"), m_volatileFile);
    out += QLatin1Char('\n');
    for (const Setting &setting : m_settings) {
        out += (setting.isDefault ? QStringLiteral("  ") : QStringLiteral("! ")) +
               setting.label.leftJustified(20) + setting.text + QLatin1Char('\n');
    }
    out += QLatin1Char('\n');
    const int differing = flagged().size();
    if (differing == 0) {
        out += QStringLiteral("Every setting has its default.\n");
    } else {
        out += QStringLiteral("! marks a setting that differs from its default (%1 of %2).\n")
                   .arg(differing)
                   .arg(m_settings.size());
    }
    for (const QString &hint : hints()) {
        out += QStringLiteral("Can't find network? ") + hint + QLatin1Char('\n');
    }
    return out;
}

QByteArray KIVO_StatusReport::json() const
{
    QJsonObject settings;
    for (const Setting &setting : m_settings) {
        QJsonObject object{{QStringLiteral("key"), setting.key},
                           {QStringLiteral("value"), setting.value},
                           {QStringLiteral("text"), setting.text},
                           {QStringLiteral("known"), setting.known},
                           {QStringLiteral("default"), setting.isDefault}};
        if (setting.stored != setting.value) {
            object.insert(QStringLiteral("stored"), setting.stored);
        }
        if (setting.id == QLatin1String("storedArfcn")) {
            object.insert(QStringLiteral("band"),
                          setting.band.isEmpty() ? QJsonValue() : QJsonValue(setting.band));
        }
        settings.insert(setting.id, object);
    }
    QJsonArray flaggedIds;
    for (const Setting *setting : flagged()) {
        flaggedIds << setting->id;
    }
    const QJsonObject root{{QStringLiteral("root"), m_root},
                           {QStringLiteral("settingsFile"), fileJson(m_settingsFile)},
                           {QStringLiteral("volatileFile"), fileJson(m_volatileFile)},
                           {QStringLiteral("settings"), settings},
                           {QStringLiteral("flagged"), flaggedIds},
                           {QStringLiteral("hints"), QJsonArray::fromStringList(hints())}};
    return QJsonDocument(root).toJson(QJsonDocument::Indented);
}
