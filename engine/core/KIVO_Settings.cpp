#include "KIVO_Settings.h"

#include "PlConfig.h"
#include "PlRoot.h"

#include <QDir>

#include <cstdlib>
#include <cstring>

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

const KIVO_Setting &settingFor(const char *key)
{
    for (const KIVO_Setting &setting : kSettings) {
        if (std::strcmp(setting.key, key) == 0) {
            return setting;
        }
    }
    Q_UNREACHABLE();
}

QString settingStorePath(KIVO_Setting::Store store)
{
    return store == KIVO_Setting::Store::Volatile ? QString::fromLatin1(kVolatilePath)
                                                  : iniFilePath();
}

int readSetting(const KIVO_Setting &setting)
{
    const QByteArray path = settingStorePath(setting.store).toLocal8Bit();
    return setting.held(readIntEntry(path.constData(), setting.key, setting.defaultValue));
}
