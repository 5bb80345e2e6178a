#include "KIVO_QuectelAt.h"

#include <QRegularExpression>
#include <QStringList>

namespace {

const QString s_lteLock = QStringLiteral("\"common/lte\"");

// The fields of the first line that starts with `prefix`, blanks and quotes taken off; empty
// when no such line.
QStringList fieldsOf(const QString &answer, const QString &prefix)
{
    const QStringList lines =
        answer.split(QRegularExpression(QStringLiteral("[\r\n]+")), Qt::SkipEmptyParts);
    for (const QString &raw : lines) {
        const QString line = raw.trimmed();
        if (!line.startsWith(prefix)) {
            continue;
        }
        QStringList fields = line.mid(prefix.size()).split(QLatin1Char(','));
        for (QString &field : fields) {
            field = field.trimmed();
            if (field.size() >= 2 && field.startsWith(QLatin1Char('"')) &&
                field.endsWith(QLatin1Char('"'))) {
                field = field.mid(1, field.size() - 2);
            }
        }
        return fields;
    }
    return {};
}

// A decimal field; "-" or anything else that is no number stays unknown.
std::optional<quint32> number(const QString &field)
{
    bool ok = false;
    const uint value = field.toUInt(&ok, 10);
    return ok ? std::optional<quint32>(value) : std::nullopt;
}

QString hexField(const QString &field)
{
    bool ok = false;
    field.toULongLong(&ok, 16);
    return ok ? field.toUpper() : QString();
}

} // namespace

bool KIVO_QuectelAt::isQuectel(const QString &manufacturer)
{
    return manufacturer.contains(QLatin1String("Quectel"), Qt::CaseInsensitive);
}

QString KIVO_QuectelAt::lockCommand(quint32 earfcn)
{
    return QStringLiteral("AT+QNWLOCK=\"common/lte\",1,%1,0").arg(earfcn);
}

QString KIVO_QuectelAt::unlockCommand()
{
    return QStringLiteral("AT+QNWLOCK=\"common/lte\",0");
}

QString KIVO_QuectelAt::lockQueryCommand()
{
    return QStringLiteral("AT+QNWLOCK=\"common/lte\"");
}

QString KIVO_QuectelAt::servingCellCommand()
{
    return QStringLiteral("AT+QENG=\"servingcell\"");
}

QString KIVO_QuectelAt::probeCommand()
{
    return QStringLiteral("AT");
}

QString KIVO_QuectelAt::errorLine(const QString &answer)
{
    const QStringList lines =
        answer.split(QRegularExpression(QStringLiteral("[\r\n]+")), Qt::SkipEmptyParts);
    for (const QString &raw : lines) {
        const QString line = raw.trimmed();
        if (line == QLatin1String("ERROR") || line.startsWith(QLatin1String("+CME ERROR")) ||
            line.startsWith(QLatin1String("+CMS ERROR"))) {
            return line;
        }
    }
    return {};
}

std::optional<KIVO_QuectelAt::ServingCell> KIVO_QuectelAt::parseServingCell(const QString &answer)
{
    // +QENG: "servingcell",<state>,"LTE",<is_tdd>,<MCC>,<MNC>,<cellID>,<PCID>,<earfcn>,
    //        <freq_band_ind>,<UL_bandwidth>,<DL_bandwidth>,<TAC>,<RSRP>,...
    const QStringList fields = fieldsOf(answer, QStringLiteral("+QENG:"));
    if (fields.size() < 2 || fields.at(0) != QLatin1String("servingcell")) {
        return std::nullopt;
    }
    ServingCell cell;
    cell.state = fields.at(1);
    cell.rat = fields.value(2);
    if (cell.rat == QLatin1String("LTE")) {
        if (fields.size() < 13) {
            return std::nullopt;
        }
        cell.cellId = hexField(fields.at(6));
        cell.physicalCellId = number(fields.at(7));
        cell.earfcn = number(fields.at(8));
        cell.tac = hexField(fields.at(12));
    }
    return cell;
}

std::optional<KIVO_QuectelAt::Lock> KIVO_QuectelAt::parseLock(const QString &answer)
{
    // +QNWLOCK: "common/lte",0  or  ,1,<earfcn>,0  or  ,2,<earfcn>,<pci>
    const QStringList fields = fieldsOf(answer, QStringLiteral("+QNWLOCK:"));
    if (fields.size() < 2 || QLatin1Char('"') + fields.at(0) + QLatin1Char('"') != s_lteLock) {
        return std::nullopt;
    }
    Lock lock;
    if (fields.at(1) == QLatin1String("0")) {
        return lock;
    }
    const std::optional<quint32> earfcn = number(fields.value(2));
    if ((fields.at(1) != QLatin1String("1") && fields.at(1) != QLatin1String("2")) || !earfcn) {
        return std::nullopt;
    }
    lock.on = true;
    lock.earfcn = *earfcn;
    if (fields.at(1) == QLatin1String("2")) {
        lock.physicalCellId = number(fields.value(3));
        if (!lock.physicalCellId) {
            return std::nullopt;
        }
    }
    return lock;
}
