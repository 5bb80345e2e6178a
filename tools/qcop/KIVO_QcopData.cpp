#include "KIVO_QcopData.h"

#include "KIVO_FtsWire.h"

#include <QDataStream>
#include <QIODevice>
#include <QStringList>

#include <limits>

namespace KIVO_QcopData {

namespace {

enum class Form { NoData, Titles, Bitmap, Unknown };

Form formOf(const QByteArray &message)
{
    using namespace KIVO_FtsWire;
    for (const char *name : {kGetTitles, kGetFavourites, kGetVisibles}) {
        if (message == name) {
            return Form::NoData;
        }
    }
    for (const char *name :
         {kSetFavourites, kSetVisibles, kFavouritesResponse, kVisiblesResponse}) {
        if (message == name) {
            return Form::Bitmap;
        }
    }
    if (message == kTitlesResponse) {
        return Form::Titles;
    }
    return Form::Unknown;
}

// A number in decimal or, with "0x", in hexadecimal; a leading '-' for negative values.
bool parseNumber(const QString &text, bool *negative, quint64 *magnitude)
{
    QString digits = text.trimmed();
    *negative = digits.startsWith(QLatin1Char('-'));
    if (*negative) {
        digits.remove(0, 1);
    }
    int base = 10;
    if (digits.startsWith(QLatin1String("0x"), Qt::CaseInsensitive)) {
        base = 16;
        digits.remove(0, 2);
    }
    if (digits.isEmpty() || digits.startsWith(QLatin1Char('+')) ||
        digits.startsWith(QLatin1Char('-'))) {
        return false;
    }
    bool ok = false;
    *magnitude = digits.toULongLong(&ok, base);
    return ok;
}

// Writes `value` in `bits` bits; a signed type takes the signed range and the unsigned range
// of its width, so that a bit pattern such as int32:0x80000000 can be given as it stands.
bool appendNumber(const QString &text, int bits, bool isSigned, QByteArray *data, QString *error)
{
    bool negative = false;
    quint64 magnitude = 0;
    if (!parseNumber(text, &negative, &magnitude)) {
        *error = QStringLiteral("not a number: \"%1\"").arg(text);
        return false;
    }
    const quint64 unsignedMax =
        bits == 64 ? std::numeric_limits<quint64>::max() : (Q_UINT64_C(1) << bits) - 1;
    const quint64 negativeLimit = Q_UINT64_C(1) << (bits - 1);
    if ((negative && (!isSigned || magnitude > negativeLimit)) ||
        (!negative && magnitude > unsignedMax)) {
        *error = QStringLiteral("%1 does not fit in %2 bits").arg(text).arg(bits);
        return false;
    }
    const quint64 pattern = negative ? (~magnitude + 1) : magnitude;
    QDataStream out(data, QIODevice::WriteOnly | QIODevice::Append);
    switch (bits) {
    case 8:
        out << static_cast<quint8>(pattern);
        break;
    case 16:
        out << static_cast<quint16>(pattern);
        break;
    case 32:
        out << static_cast<quint32>(pattern);
        break;
    default:
        out << pattern;
        break;
    }
    return true;
}

QString hexWord(quint64 value, int digits)
{
    return QStringLiteral("0x%1").arg(value, digits, 16, QLatin1Char('0'));
}

QString malformed(const QString &why, const QByteArray &data)
{
    return QStringLiteral("malformed (%1) hex=%2").arg(why, hexBytes(data));
}

QString trailing(const QByteArray &data, qsizetype used)
{
    if (data.size() <= used) {
        return QString();
    }
    return QStringLiteral(" trailing=%1").arg(hexBytes(data.mid(used)));
}

QString describeBitmap(const QByteArray &data)
{
    if (data.size() < 8) {
        return malformed(QStringLiteral("8 bytes expected, %1 received").arg(data.size()), data);
    }
    QDataStream in(data);
    qint32 hi = 0;
    qint32 lo = 0;
    in >> hi >> lo;
    const quint64 bitmap = KIVO_FtsWire::join(hi, lo);
    QStringList bits;
    for (int bit = 0; bit < 64; ++bit) {
        if (bitmap & (Q_UINT64_C(1) << bit)) {
            bits << QString::number(bit);
        }
    }
    return QStringLiteral("hi=%1 lo=%2 bitmap=%3 bits=%4")
               .arg(hexWord(static_cast<quint32>(hi), 8), hexWord(static_cast<quint32>(lo), 8),
                    hexWord(bitmap, 16),
                    bits.isEmpty() ? QStringLiteral("none") : bits.join(QLatin1Char(','))) +
           trailing(data, 8);
}

QString describeTitles(const QByteArray &data)
{
    if (data.isEmpty()) {
        return malformed(QStringLiteral("no count byte"), data);
    }
    QDataStream in(data);
    qint8 countByte = 0;
    in >> countByte;
    // The count byte is read signed and used unsigned: 0xc8 is 200 titles.
    const int count = static_cast<quint8>(countByte);
    QStringList parts{QStringLiteral("count=%1").arg(count)};
    for (int i = 0; i < count; ++i) {
        QString title;
        in >> title;
        if (in.status() != QDataStream::Ok) {
            return malformed(
                QStringLiteral("count=%1, title %2 missing or cut short").arg(count).arg(i), data);
        }
        parts << QStringLiteral("%1=\"%2\"").arg(i).arg(escaped(title));
    }
    return parts.join(QLatin1Char(' ')) + trailing(data, in.device()->pos());
}

} // namespace

bool appendHex(const QString &hex, QByteArray *data, QString *error)
{
    QString digits;
    for (const QChar c : hex) {
        if (c == QLatin1Char(' ') || c == QLatin1Char(':')) {
            continue;
        }
        if (!c.isDigit() && !QStringLiteral("abcdefABCDEF").contains(c)) {
            *error = QStringLiteral("not a hex digit in \"%1\"").arg(hex);
            return false;
        }
        digits += c;
    }
    if (digits.size() % 2 != 0) {
        *error = QStringLiteral("odd number of hex digits in \"%1\"").arg(hex);
        return false;
    }
    data->append(QByteArray::fromHex(digits.toLatin1()));
    return true;
}

bool appendItem(const QString &item, QByteArray *data, QString *error)
{
    const qsizetype colon = item.indexOf(QLatin1Char(':'));
    if (colon < 0) {
        *error = QStringLiteral("\"%1\" is not TYPE:VALUE").arg(item);
        return false;
    }
    const QString type = item.left(colon).toLower();
    const QString value = item.mid(colon + 1);
    if (type == QLatin1String("qstring")) {
        QDataStream out(data, QIODevice::WriteOnly | QIODevice::Append);
        out << value;
        return true;
    }
    if (type == QLatin1String("hex")) {
        return appendHex(value, data, error);
    }
    static const struct {
        const char *name;
        int bits;
        bool isSigned;
    } numbers[] = {{"int8", 8, true},     {"uint8", 8, false},  {"int16", 16, true},
                   {"uint16", 16, false}, {"int32", 32, true},  {"uint32", 32, false},
                   {"int64", 64, true},   {"uint64", 64, false}};
    for (const auto &number : numbers) {
        if (type == QLatin1String(number.name)) {
            return appendNumber(value, number.bits, number.isSigned, data, error);
        }
    }
    *error = QStringLiteral("unknown type \"%1\"").arg(item.left(colon));
    return false;
}

QString describe(const QByteArray &message, const QByteArray &data)
{
    switch (formOf(message)) {
    case Form::Titles:
        return describeTitles(data);
    case Form::Bitmap:
        return describeBitmap(data);
    case Form::NoData:
        if (!data.isEmpty()) {
            return QStringLiteral("hex=%1 (no data expected)").arg(hexBytes(data));
        }
        return hexBytes(data);
    case Form::Unknown:
        break;
    }
    return data.isEmpty() ? hexBytes(data) : QStringLiteral("hex=%1").arg(hexBytes(data));
}

QString hexBytes(const QByteArray &data)
{
    if (data.isEmpty()) {
        return QStringLiteral("(empty)");
    }
    return QString::fromLatin1(data.toHex(' '));
}

QString escaped(const QString &text)
{
    QString result;
    result.reserve(text.size());
    for (const QChar c : text) {
        switch (c.unicode()) {
        case '"':
            result += QLatin1String("\\\"");
            break;
        case '\\':
            result += QLatin1String("\\\\");
            break;
        case '\n':
            result += QLatin1String("\\n");
            break;
        case '\t':
            result += QLatin1String("\\t");
            break;
        case '\r':
            result += QLatin1String("\\r");
            break;
        default:
            if (c.unicode() < 0x20 || c.unicode() == 0x7f) {
                result += QStringLiteral("\\x%1").arg(c.unicode(), 2, 16, QLatin1Char('0'));
            } else {
                result += c;
            }
        }
    }
    return result;
}

} // namespace KIVO_QcopData
