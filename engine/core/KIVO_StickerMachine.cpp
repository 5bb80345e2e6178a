#include "KIVO_StickerMachine.h"

#include "KIVO_Settings.h"

#include <QtEndian>

#include <algorithm>
#include <climits>
#include <cstdio>
#include <cstdlib>

using namespace KIVO_Sticker;

namespace {

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

const QString s_info = QStringLiteral("Cell Sticker Information");

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

KIVO_StickerMachine::KIVO_StickerMachine(const KIVO_StickerFields &fields, KIVO_StickerLink *link,
                                         QObject *parent)
    : QObject(parent), m_fields(fields), m_link(link)
{
}

KIVO_StickerMachine::~KIVO_StickerMachine() = default;

void KIVO_StickerMachine::loadScreen()
{
    m_fields.cell_sticker_mode =
        static_cast<quint8>(m_link->readSetting(settingFor(kKeyStickerMode)));
    m_fields.stickerRequest.mode = m_fields.cell_sticker_mode;
    m_fields.cellStickerState = m_link->readSetting(settingFor(kKeyStickerState));
    if (m_fields.cellStickerState == StickerSet) {
        m_fields.arfcn = m_link->readSetting(settingFor(kKeyStoredArfcn));
        std::fprintf(stderr, "\nValue of arfcn = %d", m_fields.arfcn);
    }
    emit arfcnEntryEnabled(m_fields.cell_sticker_mode == On);
}

void KIVO_StickerMachine::chooseMode(int row)
{
    // Nothing goes to the telephony layer here; the mode takes effect with the next "Set".
    const quint8 mode = row == 0 ? On : Off;
    setMode(mode);
    emit arfcnEntryEnabled(mode == On);
    m_link->writeSetting(kKeyStickerMode, mode);
}

void KIVO_StickerMachine::pressSet()
{
    if (m_fields.cell_sticker_mode == On) {
        startSticker();
    } else {
        stopSticker();
    }
}

void KIVO_StickerMachine::startSticker()
{
    if (m_fields.cellStickerState != ArfcnEntered) {
        m_link->showMessage(QStringLiteral("Cell Sticker Error"),
                            QStringLiteral("No cell selected"));
        return;
    }
    // The ARFCN of the last request again: nothing to send.
    if (stickerArfcn(m_fields.stickerRequest) == static_cast<quint32>(m_fields.arfcn)) {
        m_fields.cellStickerState = m_fields.prevCellStickerState;
        std::fprintf(stderr, "\ncell sticker state = %d ", m_fields.cellStickerState);
        m_link->writeSetting(kKeyStickerState, m_fields.cellStickerState);
        return;
    }
    setStickerArfcn(m_fields.stickerRequest, static_cast<quint32>(m_fields.arfcn));

    // Each message may run a nested event loop in which outcomes change the state: what
    // follows reads the fields afresh.
    m_link->showMessage(s_info, QStringLiteral("Set sticker on ARFCN %1 ?")
                                    .arg(static_cast<int>(stickerArfcn(m_fields.stickerRequest))));

    if (m_link->checkArfcn(static_cast<quint32>(m_fields.arfcn)) != 0) {
        if (m_fields.cellStickerState == ArfcnEntered) {
            m_fields.arfcn = m_fields.storedArfcn;
        }
        restorePrevState();
        m_link->showMessage(s_info, QStringLiteral("Wrong ARFCN entered"));
        return;
    }

    const int status = m_link->sendRequest(&m_fields.stickerRequest);
    if (status == 0) {
        // The outcome arrives as a telephony event.
        return;
    }
    // A refused request turns the mode off in memory only; a rebuilt screen shows it on.
    setMode(Off);
    m_link->showTapiError(status);
    emit arfcnEntryEnabled(false);
    if (m_fields.cellStickerState == ArfcnEntered) {
        m_fields.arfcn = m_fields.storedArfcn;
        std::fprintf(stderr, "\nkivo_eng->arfcn = %d ", m_fields.arfcn);
    }
    restorePrevState();
}

void KIVO_StickerMachine::stopSticker()
{
    if (m_fields.cellStickerState != StickerSet) {
        m_link->showMessage(s_info, QStringLiteral("Sticker not set"));
        return;
    }
    setStickerArfcn(m_fields.stickerRequest, static_cast<quint32>(m_fields.arfcn));
    // The state follows the layer's event.
    const int status = m_link->sendRequest(&m_fields.stickerRequest);
    if (status != 0) {
        m_link->showTapiError(status);
    }
}

void KIVO_StickerMachine::stickerFailed()
{
    if (m_fields.cell_sticker_mode == Off) {
        return;
    }
    // The stop goes out on the ARFCN of the last request; the row "Enter Arfcn" stays as it is.
    setMode(Off);
    const int status = m_link->sendRequest(&m_fields.stickerRequest);
    if (status == 0) {
        m_link->writeSetting(kKeyStickerMode, Off);
    } else {
        m_link->showTapiError(status);
    }
}

bool KIVO_StickerMachine::loadEntry()
{
    // Prefilled only while a sticker is stored; the file's value is the one shown.
    if (m_fields.storedArfcn == -1) {
        return false;
    }
    m_fields.arfcn = m_link->readSetting(settingFor(kKeyStoredArfcn));
    std::fprintf(stderr, "\nStored arfcn = %d", m_fields.arfcn);
    return true;
}

void KIVO_StickerMachine::enterArfcn(const QByteArray &text)
{
    // No end check: an empty text gives 0, and anything after the digits is ignored. The
    // result is clamped to int as a 32-bit long would be.
    const long value = std::strtol(text.constData(), nullptr, 10);
    m_fields.arfcn = static_cast<int>(std::clamp<long>(value, INT_MIN, INT_MAX));
    m_fields.prevCellStickerState = m_fields.cellStickerState;
    m_fields.cellStickerState = ArfcnEntered;
    std::fprintf(stderr, "value of stored arfcn = %d", m_fields.arfcn);
    m_link->writeSetting(kKeyStickerState, ArfcnEntered);
}

void KIVO_StickerMachine::outcome(quint32 code)
{
    QString message;
    if (code == WrongArfcn || code == WrongArfcnBand) {
        message = QStringLiteral("Wrong ARFCN entered");
        std::fprintf(stderr, "\nIs arfcn wrong %d ", m_fields.arfcn);
        m_fields.cellStickerState = m_fields.prevCellStickerState;
        m_fields.arfcn = m_fields.storedArfcn;
        m_link->writeSetting(kKeyStickerState, m_fields.cellStickerState);
    } else {
        const KIVO_StickerResult result = stickerResultFor(code);
        std::fprintf(stderr, "\nUpdate sticker");
        // With no sticker pending or set there is no ARFCN of the outcome; the target shows.
        int shownArfcn = m_fields.arfcn;
        UpdateSticker(result.keepsSticker, &shownArfcn);
        message = QStringLiteral("Cell id: %1\n").arg(static_cast<quint32>(shownArfcn));
        if (result.keepsSticker == 0) {
            message += QStringLiteral("Cell Sticker Stopped\n");
            emit cellBarred();
        }
        if (code == StickerStopped) {
            setStickerArfcn(m_fields.stickerRequest, 0xFFFFFFFFu);
            m_fields.cellStickerState = NoSticker;
            m_fields.prevCellStickerState = NoSticker;
            m_link->writeSetting(kKeyStickerState, NoSticker);
        }
        message += QString::fromLatin1(result.text);
    }
    m_link->showNotice(message);
}

void KIVO_StickerMachine::UpdateSticker(int keepsSticker, int *shownArfcn)
{
    if (m_fields.cellStickerState == ArfcnEntered) {
        *shownArfcn = m_fields.arfcn;
        if (keepsSticker == 1) {
            m_fields.storedArfcn = m_fields.arfcn;
            m_fields.cellStickerState = StickerSet;
        } else {
            m_fields.arfcn = m_fields.storedArfcn;
            m_fields.cellStickerState = m_fields.prevCellStickerState;
        }
        std::fprintf(stderr, "\nValue of arfcn = %d", m_fields.arfcn);
        m_link->writeSetting(kKeyStoredArfcn, static_cast<quint32>(m_fields.arfcn));
        m_link->writeSetting(kKeyStickerState, m_fields.cellStickerState);
    } else if (m_fields.cellStickerState == StickerSet) {
        *shownArfcn = m_fields.arfcn;
        std::fprintf(stderr, "\nValue of arfcn = %d", m_fields.arfcn);
        m_link->writeSetting(kKeyStoredArfcn, static_cast<quint32>(m_fields.arfcn));
    }
}

void KIVO_StickerMachine::setMode(quint8 mode)
{
    m_fields.cell_sticker_mode = mode;
    m_fields.stickerRequest.mode = mode;
}

void KIVO_StickerMachine::restorePrevState()
{
    m_fields.cellStickerState = m_fields.prevCellStickerState;
    m_link->writeSetting(kKeyStickerState, m_fields.cellStickerState);
}
