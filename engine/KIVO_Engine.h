#pragma once

#include "TAPI_KIVO.h"

#include <QByteArray>
#include <QObject>
#include <QString>
#include <QStringList>
#include <QtGlobal>

class QCopChannel;
class QTimer;
class UTIL_TAPI_Device;
class UTIL_TAPI_Event;

// The one object the whole application shares, reached through kivo_eng: the telephony
// device and its registration, the dispatch of telephony events, the FTS engine's answers,
// the loaded settings and the state several screens share. Created and deleted by main.
class KIVO_Engine : public QObject {
    Q_OBJECT

public:
    KIVO_Engine();
    ~KIVO_Engine() override;

    void ActivateTapiDevice();
    // Sends Register for the cell sticker outcome without waiting; the answer is handed to the
    // device, or starts the retry. Does nothing while an earlier Register awaits its answer.
    void registerTapiClient();
    int tapiInvalid();

    // FTS requests to the FTS engine on "fts_listen_channel".
    void getTitleInfo();
    void showFavourites();
    void showVisibles();
    void setFavourites(quint64 bitmap);
    void setVisibles(quint64 bitmap);

    // The "KIVO: TAPI Error" popup for a telephony error code.
    void showTapiError(int code);

    // Fields, in this order; screens read and write them directly.
    UTIL_TAPI_Device *kivo_tapi = nullptr;
    quint8 msg_warning_mode = 0;
    quint8 tone_warning_mode = 0;
    int kivo_mode = 0;
    quint8 cell_sticker_mode = 0;
    StickerRequest stickerRequest;
    int cellBarMode = 0;
    // Start-up sets it to storedArfcn after the settings load; the Cell Sticker screen and the
    // ARFCN popup load it again. -1 reads as "no ARFCN" like storedArfcn.
    int arfcn = -1;
    int storedArfcn = -1;
    int cellStickerState = 0;
    int prevCellStickerState = 0;
    QCopChannel *listenChannel = nullptr;
    quint8 titlesNum = 0;
    QString *titlesArray = nullptr;
    quint64 fabBitMap = 0;
    quint64 visBitMap = 0;

public slots:
    void ProcessTAPIEvent(UTIL_TAPI_Event *event);
    void ProcessTAPICellStickerEvent(UTIL_TAPI_Event *event);
    void RegisterTapiTimeout();

private slots:
    void TapiDisconnectedSlot();

public slots:
    void slotFTSEngineMessage(const QByteArray &message, const QByteArray &data);

signals:
    void cellBarred();
    void showFavouritesResponse();
    void showVislbiesResponse();

private:
    Q_DISABLE_COPY(KIVO_Engine)
    // Settles the sticker state and the stored ARFCN after an outcome event; writes the ARFCN
    // the notice shows into *shownArfcn where there is one.
    void UpdateSticker(int keepsSticker, int *shownArfcn);
    // Shows the notice of one sticker outcome, or queues it while too many are open.
    void showStickerNotice(const QString &text);
    void releaseTitles();

    // The answer to registerTapiClient's Register. While a Register awaits its answer,
    // m_registrationInFlight is set and the retry timer is stopped.
    void registrationAnswered(int result);
    bool m_registrationInFlight = false;

    // The 300 ms registration retry; runs from a failed registration until the engine goes.
    QTimer *m_registrationRetry = nullptr;
    // A sticker notice runs a nested event loop until the user closes it, and outcomes keep
    // arriving meanwhile: each opens over the last, up to kMaxOpenStickerNotices deep; beyond
    // that their notices wait here (the newest ones) and follow as the top notice is closed.
    int m_openStickerNotices = 0;
    QStringList m_waitingStickerNotices;
};

// The one engine; set by main right after construction.
extern KIVO_Engine *kivo_eng;

// Reads the six persistent settings keys into the engine, with their defaults.
void loadSettings(KIVO_Engine *engine);

// The engine's start-up, as main runs it: creates the one engine into kivo_eng, opens the
// telephony device (registration, with its retry), loads the settings and starts the target
// ARFCN as the stored one, so that an outcome arriving before any screen has loaded it neither
// stores nor shows an ARFCN that nobody entered. The caller deletes kivo_eng.
void startKivoEngine();

// The ARFCN of a sticker request: little-endian on the wire, kept as two 16-bit halves with
// the low half first, as the device writes it (no unaligned 32-bit access).
quint32 stickerArfcn(const StickerRequest &request);
void setStickerArfcn(StickerRequest &request, quint32 arfcn);

// The outcome codes of a cell sticker request that the telephony layer reports.
struct KIVO_StickerResult {
    const char *text;
    int keepsSticker;
};
// The text and whether the sticker still stands, for any result code (0x100 and 0x200, the
// wrong-ARFCN codes, are not handled here).
KIVO_StickerResult stickerResultFor(quint32 code);
