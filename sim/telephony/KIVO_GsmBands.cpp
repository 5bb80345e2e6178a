#include "KIVO_GsmBands.h"

namespace {

struct Range {
    quint32 first;
    quint32 last;
};

struct Band {
    const char *name;
    Range ranges[2];
    int rangeCount;
};

// Channel numbers of 3GPP TS 45.005, section 2. T-GSM 810, GSM 710/750 and ER-GSM are left out.
const Band s_bands[] = {
    {"GSM450", {{259, 293}, {0, 0}}, 1},      {"GSM480", {{306, 340}, {0, 0}}, 1},
    {"GSM850", {{128, 251}, {0, 0}}, 1},      {"P-GSM900", {{1, 124}, {0, 0}}, 1},
    {"E-GSM900", {{0, 124}, {975, 1023}}, 2}, {"R-GSM900", {{0, 124}, {955, 1023}}, 2},
    {"DCS1800", {{512, 885}, {0, 0}}, 1},     {"PCS1900", {{512, 810}, {0, 0}}, 1},
};
const int s_bandCount = int(sizeof(s_bands) / sizeof(s_bands[0]));

bool bandHolds(const Band &band, quint32 arfcn)
{
    for (int i = 0; i < band.rangeCount; ++i) {
        if (arfcn >= band.ranges[i].first && arfcn <= band.ranges[i].last) {
            return true;
        }
    }
    return false;
}

int bandIndex(const QString &name)
{
    QString wanted = name;
    wanted.remove(QLatin1Char(' '));
    for (int i = 0; i < s_bandCount; ++i) {
        if (wanted.compare(QLatin1String(s_bands[i].name), Qt::CaseInsensitive) == 0) {
            return i;
        }
    }
    return -1;
}

} // namespace

KIVO_GsmBands::KIVO_GsmBands()
    : m_bands{bandIndex(QStringLiteral("E-GSM900")), bandIndex(QStringLiteral("DCS1800"))}
{
}

bool KIVO_GsmBands::parse(const QString &list, KIVO_GsmBands *bands, QString *error)
{
    QList<int> parsed;
    const QStringList names = list.split(QLatin1Char(','), Qt::SkipEmptyParts);
    for (const QString &name : names) {
        const int index = bandIndex(name.trimmed());
        if (index < 0) {
            *error = QStringLiteral("unknown band \"%1\"").arg(name.trimmed());
            return false;
        }
        if (!parsed.contains(index)) {
            parsed.append(index);
        }
    }
    if (parsed.isEmpty()) {
        *error = QStringLiteral("no band given");
        return false;
    }
    if (parsed.contains(bandIndex(QStringLiteral("DCS1800"))) &&
        parsed.contains(bandIndex(QStringLiteral("PCS1900")))) {
        *error = QStringLiteral("DCS1800 and PCS1900 share ARFCNs 512-810: choose one");
        return false;
    }
    bands->m_bands = parsed;
    return true;
}

KIVO_GsmBands::Fit KIVO_GsmBands::fit(quint32 arfcn) const
{
    for (int index : m_bands) {
        if (bandHolds(s_bands[index], arfcn)) {
            return Fit::InBandSet;
        }
    }
    return bandsOf(arfcn).isEmpty() ? Fit::NoGsmBand : Fit::OtherGsmBand;
}

QStringList KIVO_GsmBands::bandsOf(quint32 arfcn) const
{
    QStringList names;
    for (const Band &band : s_bands) {
        if (bandHolds(band, arfcn)) {
            names << QLatin1String(band.name);
        }
    }
    return names;
}

QString KIVO_GsmBands::names() const
{
    QStringList names;
    for (int index : m_bands) {
        names << QLatin1String(s_bands[index].name);
    }
    return names.join(QLatin1Char(','));
}

QString KIVO_GsmBands::table()
{
    QString text;
    for (const Band &band : s_bands) {
        QStringList ranges;
        for (int i = 0; i < band.rangeCount; ++i) {
            ranges << QStringLiteral("%1-%2").arg(band.ranges[i].first).arg(band.ranges[i].last);
        }
        text += QStringLiteral("  %1 %2\n")
                    .arg(QLatin1String(band.name), -9)
                    .arg(ranges.join(QStringLiteral(", ")));
    }
    return text;
}
