#include "KIVO_SimLog.h"

#include <QCoreApplication>
#include <QDBusArgument>
#include <QDBusObjectPath>
#include <QDBusSignature>
#include <QDBusVariant>
#include <QStringList>
#include <QTime>

#include <cstdio>

namespace {

QString number(quint64 value, int hexDigits, const QString &decimal)
{
    return QStringLiteral("0x%1 (%2)").arg(value, hexDigits, 16, QLatin1Char('0')).arg(decimal);
}

// Arrays of basic types other than ay and as reach us undecoded; read them element by element.
QString describeArgument(const QDBusArgument &argument)
{
    const QString signature = argument.currentSignature();
    if (signature == QLatin1String("aq")) {
        QStringList items;
        argument.beginArray();
        while (!argument.atEnd()) {
            ushort item = 0;
            argument >> item;
            items << QStringLiteral("0x%1").arg(item, 4, 16, QLatin1Char('0'));
        }
        argument.endArray();
        return QStringLiteral("aq[%1] %2").arg(items.size()).arg(items.join(QLatin1Char(' ')));
    }
    return signature + QStringLiteral(" (not decoded)");
}

QString describeOne(const QVariant &value)
{
    switch (value.metaType().id()) {
    case QMetaType::QByteArray: {
        const QByteArray bytes = value.toByteArray();
        return QStringLiteral("ay[%1] %2").arg(bytes.size()).arg(simHex(bytes));
    }
    case QMetaType::UChar:
        return QStringLiteral("y ") +
               number(value.value<uchar>(), 2, QString::number(value.value<uchar>()));
    case QMetaType::Bool:
        return value.toBool() ? QStringLiteral("b true") : QStringLiteral("b false");
    case QMetaType::Short:
        return QStringLiteral("n ") +
               number(quint16(value.value<short>()), 4, QString::number(value.value<short>()));
    case QMetaType::UShort:
        return QStringLiteral("q ") +
               number(value.value<ushort>(), 4, QString::number(value.value<ushort>()));
    case QMetaType::Int:
        return QStringLiteral("i ") +
               number(quint32(value.toInt()), 8, QString::number(value.toInt()));
    case QMetaType::UInt:
        return QStringLiteral("u ") + number(value.toUInt(), 8, QString::number(value.toUInt()));
    case QMetaType::LongLong:
        return QStringLiteral("x ") +
               number(quint64(value.toLongLong()), 16, QString::number(value.toLongLong()));
    case QMetaType::ULongLong:
        return QStringLiteral("t ") +
               number(value.toULongLong(), 16, QString::number(value.toULongLong()));
    case QMetaType::QString:
        return QStringLiteral("s \"%1\"")
            .arg(value.toString().replace(QLatin1Char('\n'), QLatin1String("\\n")));
    case QMetaType::QStringList:
        return QStringLiteral("as[%1] \"%2\"")
            .arg(value.toStringList().size())
            .arg(value.toStringList().join(QStringLiteral("\", \"")));
    default:
        break;
    }
    if (value.canConvert<QDBusArgument>()) {
        return describeArgument(value.value<QDBusArgument>());
    }
    if (value.canConvert<QDBusVariant>()) {
        return QStringLiteral("v <") + describeOne(value.value<QDBusVariant>().variant()) +
               QLatin1Char('>');
    }
    return QStringLiteral("%1 %2").arg(QString::fromLatin1(value.typeName()), value.toString());
}

} // namespace

void simLog(const QString &text)
{
    const QString line =
        QStringLiteral("%1 %2 %3\n")
            .arg(QCoreApplication::applicationName(),
                 QTime::currentTime().toString(QStringLiteral("HH:mm:ss.zzz")), text);
    std::fputs(line.toLocal8Bit().constData(), stdout);
    std::fflush(stdout);
}

QString simHex(const QByteArray &bytes)
{
    return QString::fromLatin1(bytes.toHex(' '));
}

QString simDescribe(const QVariantList &arguments)
{
    QStringList parts;
    for (const QVariant &argument : arguments) {
        parts << describeOne(argument);
    }
    return parts.join(QStringLiteral(", "));
}

bool simParseNumber(const QString &text, qint64 *value)
{
    // Base 10 unless 0x is written: a leading zero must not turn "062" into octal.
    const QString trimmed = text.trimmed();
    const bool negative = trimmed.startsWith(QLatin1Char('-'));
    const QString digits = negative ? trimmed.mid(1) : trimmed;
    const bool hex = digits.startsWith(QLatin1String("0x"), Qt::CaseInsensitive);
    bool ok = false;
    qint64 parsed = hex ? digits.mid(2).toLongLong(&ok, 16) : digits.toLongLong(&ok, 10);
    if (negative) {
        parsed = -parsed;
    }
    if (ok) {
        *value = parsed;
    }
    return ok;
}
