#include "PlConfig.h"

#include "PlRoot.h"

PlConfig::PlConfig(const QString &path, bool readOnly) : m_settings(plRootedPath(path), QSettings::IniFormat)
{
    Q_UNUSED(readOnly);
}

PlConfig::~PlConfig()
{
    m_settings.sync();
}

int PlConfig::readNumEntry(const QString &group, const QString &key, int defaultValue) const
{
    const QVariant value = m_settings.value(group + QLatin1Char('/') + key);
    if (!value.isValid()) {
        return defaultValue;
    }
    bool ok = false;
    const qlonglong number = value.toString().trimmed().toLongLong(&ok, 10);
    return ok ? static_cast<int>(number) : defaultValue;
}

void PlConfig::writeEntry(const QString &group, const QString &key, int value)
{
    m_settings.setValue(group + QLatin1Char('/') + key, value);
    m_settings.sync();
}

void PlConfig::writeEntry(const QString &group, const QString &key, unsigned int value)
{
    m_settings.setValue(group + QLatin1Char('/') + key, value);
    m_settings.sync();
}
