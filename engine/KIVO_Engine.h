#pragma once

#include "KIVO_Presenter.h"
#include "KIVO_StickerMachine.h"
#include "TAPI_KIVO.h"

#include <QByteArray>
#include <QObject>
#include <QQueue>
#include <QString>
#include <QtGlobal>

#include <memory>

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

    // The "KIVO: TAPI Error" popup for a telephony error code. It takes its turn with the other
    // popups the engine opens by itself (see post()); when none is open it shows at once and
    // returns once the user has closed it.
    void showTapiError(int code);

    // The cell sticker's state machine, on the sticker fields below.
    KIVO_StickerMachine *stickerMachine() const;
    // Where the engine's popups go; until one is set they wait.
    void setPresenter(KIVO_Presenter *presenter);

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
    void releaseTitles();
    // Makes the sticker machine on the engine's fields and passes on what it tells.
    void setUpSticker();
    // The popups the engine opens by itself (outcome notices, "TAPI Device Closed!", telephony
    // errors) take turns: one is open at a time, in the order they came; the others wait in
    // m_waitingPopups, none is dropped. A popup runs a nested event loop and more arrive
    // meanwhile, so the loops nest one deep however many come.
    void post(const KIVO_EnginePopup &popup);
    void showWaitingPopups();

    // The answer to registerTapiClient's Register. While a Register awaits its answer,
    // m_registrationInFlight is set and the retry timer is stopped.
    void registrationAnswered(int result);
    bool m_registrationInFlight = false;
    // Registers once more when org.kivo.Telephony has a new owner after a loss; a failure
    // starts the 300 ms retry as at start-up.
    void registerAfterRestart();
    bool m_registerAgain = false; // a new owner came while a Register was out

    // The 300 ms registration retry; runs from a failed registration until the engine goes.
    QTimer *m_registrationRetry = nullptr;
    std::unique_ptr<KIVO_StickerLink> m_stickerLink;
    KIVO_StickerMachine *m_sticker = nullptr; // a child of the engine
    KIVO_Presenter *m_presenter = nullptr;
    QQueue<KIVO_EnginePopup> m_waitingPopups;
    bool m_showingPopup = false;
};

// The one engine; set by main right after construction.
extern KIVO_Engine *kivo_eng;

// Reads the persistent rows of the settings table (KIVO_Settings.h) into the engine fields
// they fill, with their defaults.
void loadSettings(KIVO_Engine *engine);

// The engine's start-up, as main runs it: creates the one engine into kivo_eng, gives it the
// presenter of its popups, opens the telephony device (registration, with its retry), loads
// the settings and starts the target ARFCN as the stored one, so that an outcome arriving
// before any screen has loaded it neither stores nor shows an ARFCN that nobody entered.
void startKivoEngine(KIVO_Presenter *presenter);
// The teardown: deletes the engine and clears kivo_eng, so that nothing torn down after it can
// reach a deleted engine.
void stopKivoEngine();
