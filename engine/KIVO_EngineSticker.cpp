// The engine's handling of the cell sticker outcome events (type 0x0F03).
#include "KIVO_Engine.h"

#include "KIVO_Settings.h"
#include "PlConfig.h"
#include "PlNoticeDlg.h"
#include "UTIL_TAPI_Event.h"

#include <QPixmap>
#include <QtEndian>

#include <cstdio>
#include <cstring>

namespace {

constexpr quint32 kWrongArfcnA = 0x100;
constexpr quint32 kWrongArfcnB = 0x200;
constexpr quint32 kStickerStopped = 7;
// Sticker notices open one over another, each in its own nested event loop, up to this depth;
// the notices of later outcomes wait, the newest kMaxWaitingStickerNotices of them.
constexpr int kMaxOpenStickerNotices = 4;
constexpr int kMaxWaitingStickerNotices = 16;

const KIVO_StickerResult s_stickerResults[] = {
    {"Wrong PLMN", 0},
    {"Forbidden LAI", 0},
    {"Cell Barred", 0},
    {"Invalid Information", 0},
    {"Failed for Unknown Reason", 0},
    {"NC RESEL", 0},
    {"Mode Entered", 1},
    {"Cell Sticker Stopped", 1},
    {"Scanning for Cell", 1},
    {"Suspended Dedicated Mode", 1},
};

void writeStickerState(int state)
{
    writeIntEntry(iniFilePath().toLocal8Bit().constData(), kKeyStickerState, state);
}

} // namespace

quint32 stickerArfcn(const StickerRequest &request)
{
    return static_cast<quint32>(qFromLittleEndian<quint16>(request.arfcnLow)) |
           (static_cast<quint32>(qFromLittleEndian<quint16>(request.arfcnHigh)) << 16);
}

void setStickerArfcn(StickerRequest &request, quint32 arfcn)
{
    request.arfcnLow = qToLittleEndian<quint16>(static_cast<quint16>(arfcn & 0xffffu));
    request.arfcnHigh = qToLittleEndian<quint16>(static_cast<quint16>(arfcn >> 16));
}

KIVO_StickerResult stickerResultFor(quint32 code)
{
    if (code < sizeof(s_stickerResults) / sizeof(s_stickerResults[0])) {
        return s_stickerResults[code];
    }
    // Every other code means success.
    return {"Arfcn is Ok", 1};
}

void KIVO_Engine::ProcessTAPICellStickerEvent(UTIL_TAPI_Event *event)
{
    if (!event || !event->GetRawData()) {
        return;
    }
    // The result code is the first 32-bit word; an event too short to hold it carries no
    // outcome and changes nothing.
    if (event->GetRawDataLength() < 4) {
        std::fprintf(stderr, "\nCell sticker event of %d bytes ignored",
                     event->GetRawDataLength());
        return;
    }
    const quint32 code = qFromLittleEndian<quint32>(event->GetRawData());

    QString message;
    if (code == kWrongArfcnA || code == kWrongArfcnB) {
        message = QStringLiteral("Wrong ARFCN entered");
        std::fprintf(stderr, "\nIs arfcn wrong %d ", arfcn);
        cellStickerState = prevCellStickerState;
        arfcn = storedArfcn;
        writeStickerState(cellStickerState);
    } else {
        const KIVO_StickerResult result = stickerResultFor(code);
        std::fprintf(stderr, "\nUpdate sticker");
        // With no sticker pending or set there is no ARFCN of the outcome; the target shows.
        int shownArfcn = arfcn;
        UpdateSticker(result.keepsSticker, &shownArfcn);
        message = QStringLiteral("Cell id: %1\n").arg(static_cast<quint32>(shownArfcn));
        if (result.keepsSticker == 0) {
            message += QStringLiteral("Cell Sticker Stopped\n");
            emit cellBarred();
        }
        if (code == kStickerStopped) {
            setStickerArfcn(stickerRequest, 0xFFFFFFFFu);
            cellStickerState = 0;
            prevCellStickerState = 0;
            writeStickerState(0);
        }
        message += QString::fromLatin1(result.text);
    }
    showStickerNotice(message);
}

void KIVO_Engine::showStickerNotice(const QString &text)
{
    if (m_openStickerNotices >= kMaxOpenStickerNotices) {
        // The state has been settled already; only the telling waits.
        if (m_waitingStickerNotices.size() >= kMaxWaitingStickerNotices) {
            m_waitingStickerNotices.removeFirst();
        }
        m_waitingStickerNotices.append(text);
        return;
    }
    ++m_openStickerNotices;
    QString next = text;
    for (;;) {
        auto *notice = new PlNoticeDlg(1, QStringLiteral("Cell Sticker Information"),
                                       QStringLiteral(" "), nullptr);
        notice->setMessageText(next);
        notice->setTitleIcon(QPixmap());
        notice->exec();
        delete notice;
        if (m_waitingStickerNotices.isEmpty()) {
            break;
        }
        next = m_waitingStickerNotices.takeFirst();
    }
    --m_openStickerNotices;
}

void KIVO_Engine::UpdateSticker(int keepsSticker, int *shownArfcn)
{
    const QString group = QString::fromLatin1(kSettingsGroup);
    PlConfig config(iniFilePath(), false);
    if (cellStickerState == 1) {
        *shownArfcn = arfcn;
        if (keepsSticker == 1) {
            storedArfcn = arfcn;
            cellStickerState = 2;
        } else {
            arfcn = storedArfcn;
            cellStickerState = prevCellStickerState;
        }
        std::fprintf(stderr, "\nValue of arfcn = %d", arfcn);
        config.writeEntry(group, QString::fromLatin1(kKeyStoredArfcn),
                          static_cast<unsigned int>(arfcn));
        config.writeEntry(group, QString::fromLatin1(kKeyStickerState), cellStickerState);
    } else if (cellStickerState == 2) {
        *shownArfcn = arfcn;
        std::fprintf(stderr, "\nValue of arfcn = %d", arfcn);
        config.writeEntry(group, QString::fromLatin1(kKeyStoredArfcn),
                          static_cast<unsigned int>(arfcn));
    }
}
