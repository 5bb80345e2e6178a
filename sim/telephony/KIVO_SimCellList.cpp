#include "KIVO_SimCellList.h"

#include "KIVO_SimLog.h"

#include <QFile>
#include <QStringList>
#include <QTextStream>

namespace {

// Sticker result codes of the telephony layer.
const quint32 s_wrongPlmn = 0;
const quint32 s_forbiddenLai = 1;
const quint32 s_cellBarred = 2;
const quint32 s_invalidInformation = 3;
const quint32 s_ncResel = 5;
const quint32 s_modeEntered = 6;

bool parseField(const QString &text, qint64 min, qint64 max, qint64 *value)
{
    return simParseNumber(text, value) && *value >= min && *value <= max;
}

bool applyFlag(const QString &flag, KIVO_SimCellList::Cell *cell)
{
    if (flag == QLatin1String("wrong-plmn")) {
        cell->wrongPlmn = true;
    } else if (flag == QLatin1String("forbidden-lai")) {
        cell->forbiddenLai = true;
    } else if (flag == QLatin1String("barred")) {
        cell->barred = true;
    } else if (flag == QLatin1String("invalid-info")) {
        cell->invalidInfo = true;
    } else if (flag == QLatin1String("nc-resel")) {
        cell->ncResel = true;
    } else {
        return false;
    }
    return true;
}

} // namespace

quint32 KIVO_SimCellList::Cell::stickerResult() const
{
    // The layer checks the PLMN, then the location area, then the barring, as cell selection
    // does, and reports the first fault it finds.
    if (wrongPlmn) {
        return s_wrongPlmn;
    }
    if (forbiddenLai) {
        return s_forbiddenLai;
    }
    if (barred) {
        return s_cellBarred;
    }
    if (invalidInfo) {
        return s_invalidInformation;
    }
    if (ncResel) {
        return s_ncResel;
    }
    return s_modeEntered;
}

QString KIVO_SimCellList::Cell::flags() const
{
    QStringList flags;
    if (wrongPlmn) {
        flags << QStringLiteral("wrong-plmn");
    }
    if (forbiddenLai) {
        flags << QStringLiteral("forbidden-lai");
    }
    if (barred) {
        flags << QStringLiteral("barred");
    }
    if (invalidInfo) {
        flags << QStringLiteral("invalid-info");
    }
    if (ncResel) {
        flags << QStringLiteral("nc-resel");
    }
    return flags.isEmpty() ? QStringLiteral("-") : flags.join(QLatin1Char(','));
}

bool KIVO_SimCellList::load(const QString &path, QString *error)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text)) {
        *error = QStringLiteral("%1: %2").arg(path, file.errorString());
        return false;
    }
    QList<Cell> cells;
    QTextStream in(&file);
    int lineNumber = 0;
    while (!in.atEnd()) {
        const QString line = in.readLine();
        ++lineNumber;
        const QString content = line.section(QLatin1Char('#'), 0, 0).simplified();
        if (content.isEmpty()) {
            continue;
        }
        auto fail = [&](const QString &reason) {
            *error = QStringLiteral("%1:%2: %3").arg(path).arg(lineNumber).arg(reason);
            return false;
        };
        const QStringList fields = content.split(QLatin1Char(' '));
        if (fields.size() != 5) {
            return fail(QStringLiteral("want 5 fields (arfcn cell-id lac rxlev flags), got %1")
                            .arg(fields.size()));
        }
        Cell cell;
        qint64 value = 0;
        if (!parseField(fields[0], 0, 1023, &value)) {
            return fail(QStringLiteral("ARFCN \"%1\" is not 0-1023").arg(fields[0]));
        }
        cell.arfcn = quint32(value);
        if (!parseField(fields[1], 0, 0xFFFF, &value)) {
            return fail(QStringLiteral("cell id \"%1\" is not 0-65535").arg(fields[1]));
        }
        cell.cellId = quint16(value);
        if (!parseField(fields[2], 0, 0xFFFF, &value)) {
            return fail(QStringLiteral("LAC \"%1\" is not 0-65535").arg(fields[2]));
        }
        cell.lac = quint16(value);
        if (!parseField(fields[3], -120, 0, &value)) {
            return fail(QStringLiteral("rxlev \"%1\" is not -120..0 dBm").arg(fields[3]));
        }
        cell.rxlev = int(value);
        if (fields[4] != QLatin1String("-")) {
            const QStringList flags = fields[4].split(QLatin1Char(','), Qt::SkipEmptyParts);
            for (const QString &flag : flags) {
                if (!applyFlag(flag, &cell)) {
                    return fail(QStringLiteral("unknown flag \"%1\"").arg(flag));
                }
            }
        }
        for (const Cell &known : cells) {
            if (known.arfcn == cell.arfcn) {
                return fail(QStringLiteral("ARFCN %1 listed twice").arg(cell.arfcn));
            }
        }
        cells.append(cell);
    }
    m_cells = cells;
    return true;
}

const KIVO_SimCellList::Cell *KIVO_SimCellList::find(quint32 arfcn) const
{
    for (const Cell &cell : m_cells) {
        if (cell.arfcn == arfcn) {
            return &cell;
        }
    }
    return nullptr;
}

const QList<KIVO_SimCellList::Cell> &KIVO_SimCellList::cells() const
{
    return m_cells;
}
