#pragma once

#include <QByteArray>
#include <QtGlobal>

// The QCop exchange with the FTS engine: channel and message names as both sides spell them
// (the odd spellings and blanks are the FTS engine's and must stay), and the bitmap halves.
namespace KIVO_FtsWire {

inline constexpr const char *kRequestChannel = "fts_listen_channel";
inline constexpr const char *kResponseChannel = "kivo_listen_channel";

inline constexpr const char *kGetTitles = "getTitles(QString,QString)";
inline constexpr const char *kGetFavourites = "getFavourites(QString,QString)";
inline constexpr const char *kGetVisibles = "getVisibles(QString,QString)";
inline constexpr const char *kSetFavourites = "setFavourites(QString,QString)";
inline constexpr const char *kSetVisibles = "setVisibles(QStrihg,QString)";

inline constexpr const char *kTitlesResponse = "getTiltlesRsp(QString, QString)";
inline constexpr const char *kFavouritesResponse = "getFavouritesRsp(QString, QString)";
inline constexpr const char *kVisiblesResponse = "getVisiblesResponse(QString, Qstring)";

// A bitmap on the wire: bits 63..32 and 31..0, each as a signed 32-bit value with the same
// bit pattern, high half first.
struct Halves {
    qint32 hi;
    qint32 lo;
};

Halves split(quint64 bitmap);
// The sign of lo never spills into the upper half.
quint64 join(qint32 hi, qint32 lo);
// The 8-byte data block of a set request or a bitmap response.
QByteArray encodeBitmap(quint64 bitmap);

} // namespace KIVO_FtsWire
