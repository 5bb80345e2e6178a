#pragma once

#include <QByteArray>
#include <QtGlobal>

// Big-endian fields of the panic block files, as the baseband writes them: for the programs
// that make such files (kivo-sample-data, the panic benchmark).
namespace KIVO_BigEndian {

inline QByteArray be16(quint16 value)
{
    const char bytes[] = {char(value >> 8), char(value & 0xff)};
    return QByteArray(bytes, sizeof bytes);
}

inline QByteArray be32(quint32 value)
{
    const char bytes[] = {char(value >> 24), char((value >> 16) & 0xff), char((value >> 8) & 0xff),
                          char(value & 0xff)};
    return QByteArray(bytes, sizeof bytes);
}

} // namespace KIVO_BigEndian
