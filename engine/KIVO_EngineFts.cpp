// The engine's side of the exchange with the FTS engine: requests on "fts_listen_channel",
// answers on "kivo_listen_channel".
#include "KIVO_Engine.h"

#include "KIVO_FtsWire.h"
#include "PlSafeFile.h"
#include "QCopChannel.h"

#include <QDataStream>
#include <QIODevice>

#include <cassert>
#include <cstdio>
#include <cstring>

using namespace KIVO_FtsWire;

namespace {

void sendRequest(const char *message, const QByteArray &data)
{
    QCopChannel::send(QByteArray(kRequestChannel), QByteArray(message), data);
}

} // namespace

void KIVO_Engine::getTitleInfo()
{
    std::fprintf(stderr, "[KIVO] KIVO_Engine::getTitleInfo \r\n");
    if (titlesNum == 0) {
        sendRequest(kGetTitles, QByteArray());
    }
}

void KIVO_Engine::showFavourites()
{
    std::fprintf(stderr, "[KIVO] KIVO_Engine::showFavourites\r\n");
    // A cached 0 means nothing is known: the FTS engine is asked again.
    if (fabBitMap != 0) {
        emit showFavouritesResponse();
        return;
    }
    sendRequest(kGetFavourites, QByteArray());
}

void KIVO_Engine::showVisibles()
{
    std::fprintf(stderr, "[KIVO]KIVO_Engine::showVisibles\r\n");
    if (visBitMap != 0) {
        emit showVislbiesResponse();
        return;
    }
    sendRequest(kGetVisibles, QByteArray());
}

void KIVO_Engine::setFavourites(quint64 bitmap)
{
    std::fprintf(stderr, "[KIVO] KIVO_Engine::setFavourites\r\n");
    fabBitMap = bitmap;
    const Halves halves = split(bitmap);
    std::fprintf(stderr, "[KIVO] setFavourites hiValue = %x, loValue = %x \r\n",
                 static_cast<unsigned int>(halves.hi), static_cast<unsigned int>(halves.lo));
    sendRequest(kSetFavourites, encodeBitmap(bitmap));
}

void KIVO_Engine::setVisibles(quint64 bitmap)
{
    std::fprintf(stderr, "[KIVO] KIVO_Engine::setVisibles \r\n");
    visBitMap = bitmap;
    const Halves halves = split(bitmap);
    std::fprintf(stderr, "[KIVO] setvisibles hiValue =%x, loValue = %x \r\n",
                 static_cast<unsigned int>(halves.hi), static_cast<unsigned int>(halves.lo));
    sendRequest(kSetVisibles, encodeBitmap(bitmap));
}

void KIVO_Engine::slotFTSEngineMessage(const QByteArray &message, const QByteArray &data)
{
    QByteArray block(data);
    QDataStream in(&block, QIODevice::ReadOnly);
    // The name comes from any sender: its control characters are shown escaped, never sent to
    // the terminal.
    std::fprintf(stderr, "Received data from channel %s",
                 plTraceEscaped(QByteArray(message.constData())).constData());

    // Names are matched as C strings, exactly.
    const char *name = message.constData();
    if (std::strcmp(name, kFavouritesResponse) == 0) {
        // A block shorter than its fields reads the missing values as 0.
        qint32 hi = 0;
        qint32 lo = 0;
        in >> hi >> lo;
        fabBitMap = join(hi, lo);
        emit showFavouritesResponse();
    } else if (std::strcmp(name, kVisiblesResponse) == 0) {
        qint32 hi = 0;
        qint32 lo = 0;
        in >> hi >> lo;
        visBitMap = join(hi, lo);
        emit showVislbiesResponse();
    } else if (std::strcmp(name, kTitlesResponse) == 0) {
        releaseTitles();
        titlesNum = 0;
        qint8 count = 0;
        in >> count;
        // The count byte is unsigned on the wire: 0xC8 is 200 titles.
        titlesNum = static_cast<quint8>(count);
        titlesArray = new QString[titlesNum];
        assert(titlesArray != nullptr);
        std::fprintf(stderr, "Allocating %d titles %x", titlesNum,
                     static_cast<unsigned int>(reinterpret_cast<quintptr>(titlesArray)));
        for (int i = 0; i < titlesNum; ++i) {
            in >> titlesArray[i];
        }
    }
}
