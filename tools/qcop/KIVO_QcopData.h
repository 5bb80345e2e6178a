#pragma once

#include <QByteArray>
#include <QString>

// The data blocks of kivo-qcop: building one from typed items given on the command line, and
// describing a received one, decoded when the message is one of the FTS exchange.
namespace KIVO_QcopData {

// Appends one item to `data` as QDataStream writes it (big-endian): "int8:N", "uint8:N",
// "int16:N", "uint16:N", "int32:N", "uint32:N", "int64:N", "uint64:N", "QString:TEXT" or
// "hex:BYTES". Returns false with `error` set, leaving `data` as it was, for a bad item.
bool appendItem(const QString &item, QByteArray *data, QString *error);

// Appends raw bytes given as hex digits; blanks and colons between bytes are allowed.
bool appendHex(const QString &hex, QByteArray *data, QString *error);

// The data of a message as one line of text: titles, bitmap halves and bits for the FTS
// messages, "(empty)" for an empty block, "hex=..." for everything else.
QString describe(const QByteArray &message, const QByteArray &data);

// "00 01 ff", or "(empty)".
QString hexBytes(const QByteArray &data);

// A channel, message or title made safe for one line: control characters, quotes and
// backslashes escaped.
QString escaped(const QString &text);

} // namespace KIVO_QcopData
