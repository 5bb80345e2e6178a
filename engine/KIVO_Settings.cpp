#include "KIVO_Settings.h"

#include "KIVO_Engine.h"
#include "PlConfig.h"
#include "PlRoot.h"

#include <QDir>

#include <cstdlib>

namespace {

QString iniDirectory()
{
    const char *base = std::getenv("VEK_APP_WRITE_PATH");
    // Joined as plain strings: the default path has two slashes before "/kivo/".
    QString directory = base ? QString::fromLocal8Bit(base)
                             : QStringLiteral("/vek_user/download/appwrite/");
    return directory + QStringLiteral("/kivo/");
}

} // namespace

QString iniFilePath()
{
    const QString directory = iniDirectory();
    // An existing directory is the normal case; a failure shows only as a store that cannot
    // be written.
    QDir().mkpath(plRootedPath(directory));
    return directory + QStringLiteral("kivo.ini");
}

QString iniFileLocation()
{
    return iniDirectory() + QStringLiteral("kivo.ini");
}

void loadSettings(KIVO_Engine *engine)
{
    if (!engine) {
        return;
    }
    const QString group = QString::fromLatin1(kSettingsGroup);
    PlConfig config(iniFilePath(), false);
    // The 8-bit fields keep the low 8 bits of what the file holds.
    engine->msg_warning_mode =
        static_cast<quint8>(config.readNumEntry(group, QString::fromLatin1(kKeyMsgWarning), 0));
    engine->tone_warning_mode =
        static_cast<quint8>(config.readNumEntry(group, QString::fromLatin1(kKeyToneWarning), 0));
    engine->kivo_mode = config.readNumEntry(group, QString::fromLatin1(kKeyKivoMode), 0);
    engine->storedArfcn = config.readNumEntry(group, QString::fromLatin1(kKeyStoredArfcn), -1);
    engine->cell_sticker_mode =
        static_cast<quint8>(config.readNumEntry(group, QString::fromLatin1(kKeyStickerMode), 0));
    engine->cellStickerState =
        config.readNumEntry(group, QString::fromLatin1(kKeyStickerState), 0);
}

int readIntEntry(const char *path, const char *key, int defaultValue)
{
    PlConfig config(QString::fromLocal8Bit(path), false);
    return config.readNumEntry(QString::fromLatin1(kSettingsGroup), QString::fromLatin1(key),
                               defaultValue);
}

void writeIntEntry(const char *path, const char *key, int value)
{
    PlConfig config(QString::fromLocal8Bit(path), false);
    config.writeEntry(QString::fromLatin1(kSettingsGroup), QString::fromLatin1(key), value);
}
