#include "KIVO_FtsWire.h"

#include <QDataStream>
#include <QIODevice>

namespace KIVO_FtsWire {

Halves split(quint64 bitmap)
{
    return {static_cast<qint32>(static_cast<quint32>(bitmap >> 32)),
            static_cast<qint32>(static_cast<quint32>(bitmap & 0xffffffffu))};
}

quint64 join(qint32 hi, qint32 lo)
{
    return (static_cast<quint64>(static_cast<quint32>(hi)) << 32) |
           static_cast<quint64>(static_cast<quint32>(lo));
}

QByteArray encodeBitmap(quint64 bitmap)
{
    const Halves halves = split(bitmap);
    QByteArray data;
    QDataStream out(&data, QIODevice::WriteOnly);
    out << halves.hi << halves.lo;
    return data;
}

} // namespace KIVO_FtsWire
