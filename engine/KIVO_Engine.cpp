#include "KIVO_Engine.h"

#include "KIVO_Settings.h"
#include "PlConfig.h"
#include "QCopChannel.h"
#include "UTIL_TAPI_Device.h"
#include "UTIL_TAPI_Event.h"

#include <QTimer>

#include <cassert>
#include <cstdio>
#include <cstring>
#include <type_traits>

KIVO_Engine *kivo_eng = nullptr;

namespace {

// One row of the settings table into its engine field; a row of another store is read by the
// screen that uses it.
template <class Field>
void loadSetting(const PlConfig &config, const KIVO_Setting &setting, Field &field)
{
    if (setting.store != KIVO_Setting::Store::Persistent) {
        return;
    }
    field = static_cast<Field>(
        setting.held(config.readNumEntry(QString::fromLatin1(kSettingsGroup),
                                         QString::fromLatin1(setting.key), setting.defaultValue)));
}

} // namespace

void loadSettings(KIVO_Engine *engine)
{
    if (!engine) {
        return;
    }
    PlConfig config(iniFilePath(), false);
// A Low8 row fills an 8-bit field, any other an int one.
#define KIVO_LOAD_SETTING(key, defaultValue, width, store, field)                                  \
    static_assert(KIVO_Setting::Width::width == KIVO_Setting::Width::Low8                          \
                      ? std::is_same_v<decltype(engine->field), quint8>                            \
                      : std::is_same_v<decltype(engine->field), int>);                             \
    loadSetting(config, KIVO_SETTING_ROW(key, defaultValue, width, store, field), engine->field);
    KIVO_FOR_EACH_SETTING(KIVO_LOAD_SETTING)
#undef KIVO_LOAD_SETTING
}

void startKivoEngine(KIVO_Presenter *presenter)
{
    kivo_eng = new KIVO_Engine;
    assert(kivo_eng != nullptr);
    kivo_eng->setPresenter(presenter);
    kivo_eng->ActivateTapiDevice();
    loadSettings(kivo_eng);
    kivo_eng->arfcn = kivo_eng->storedArfcn;
}

void stopKivoEngine()
{
    delete kivo_eng;
    kivo_eng = nullptr;
}

namespace {

// The telephony event that carries the cell sticker outcome.
constexpr quint16 kCellStickerEventType = 0x0F03;
constexpr int kRegistrationRetryMs = 300;

} // namespace

KIVO_Engine::KIVO_Engine() : QObject(nullptr)
{
    std::fprintf(stderr, "[KIVO] KIVO_Engine::KIVO_Engine\r\n");
    fabBitMap = 0;
    visBitMap = 0;
    cellBarMode = 0;
    prevCellStickerState = 0;
    std::memset(&stickerRequest, 0, sizeof(stickerRequest));
    titlesArray = nullptr;
    titlesNum = 0;
    listenChannel = new QCopChannel(QByteArrayLiteral("kivo_listen_channel"), nullptr, nullptr);
    connect(listenChannel, &QCopChannel::received, this, &KIVO_Engine::slotFTSEngineMessage);
    setUpSticker();
}

KIVO_Engine::~KIVO_Engine()
{
    releaseTitles();
    titlesNum = 0;
    // The device, the channel and the retry timer serve the engine alone and go with it, so
    // that nothing is left behind at shut-down.
    delete m_registrationRetry;
    m_registrationRetry = nullptr;
    delete listenChannel;
    listenChannel = nullptr;
    delete kivo_tapi;
    kivo_tapi = nullptr;
}

void KIVO_Engine::ActivateTapiDevice()
{
    kivo_tapi = new UTIL_TAPI_Device(nullptr, nullptr);
    std::fprintf(stderr, "value of kivo_tapi = %p", static_cast<void *>(kivo_tapi));
    assert(kivo_tapi != nullptr);
    connect(kivo_tapi, &UTIL_TAPI_Device::TAPI_SendEvent, this, &KIVO_Engine::ProcessTAPIEvent);
    connect(kivo_tapi, &UTIL_TAPI_Device::TapiDeviceClosed, this,
            &KIVO_Engine::TapiDisconnectedSlot);
    connect(kivo_tapi, &UTIL_TAPI_Device::TapiDeviceReopened, this,
            &KIVO_Engine::registerAfterRestart);

    // The first attempt goes out whether or not the service is there; its answer comes back
    // to registrationAnswered while the event loop runs on.
    registerTapiClient();
}

void KIVO_Engine::registerTapiClient()
{
    // One Register out at a time.
    if (m_registrationInFlight) {
        return;
    }
    m_registrationInFlight = true;
    const quint16 eventTypes[1] = {kCellStickerEventType};
    // The call is the engine's: should the engine go first, the answer goes nowhere.
    TAPI_CLIENT_InitAsync(eventTypes, 1, this,
                          [this](int result) { registrationAnswered(result); });
}

void KIVO_Engine::registerAfterRestart()
{
    // The retry timer, once running, registers at every tick anyway. A Register still out may
    // have gone to the owner that left: a new one follows its answer.
    if (m_registrationRetry) {
        return;
    }
    if (m_registrationInFlight) {
        m_registerAgain = true;
        return;
    }
    registerTapiClient();
}

void KIVO_Engine::registrationAnswered(int result)
{
    m_registrationInFlight = false;
    if (m_registerAgain && !m_registrationRetry) {
        m_registerAgain = false;
        registerTapiClient();
        return;
    }
    m_registerAgain = false;
    if (result >= 0) {
        if (kivo_tapi) {
            kivo_tapi->SetClientHandle(result);
        }
    } else if (!m_registrationRetry) {
        // Registration failed: try again every 300 ms for as long as the process runs.
        m_registrationRetry = new QTimer(nullptr);
        assert(m_registrationRetry != nullptr);
        m_registrationRetry->setSingleShot(false);
        connect(m_registrationRetry, &QTimer::timeout, this, &KIVO_Engine::RegisterTapiTimeout);
    }
    // The next tick is 300 ms after this answer; once retrying, ticks go on after a success
    // too, and each registers again.
    if (m_registrationRetry) {
        m_registrationRetry->start(kRegistrationRetryMs);
    }
}

int KIVO_Engine::tapiInvalid()
{
    if (!kivo_tapi) {
        return 0;
    }
    return kivo_tapi->IsTapiInvalid();
}

void KIVO_Engine::RegisterTapiTimeout()
{
    if (tapiInvalid() == 1) {
        return;
    }
    // No ticks while the call is out: the next one is counted from its answer.
    if (m_registrationRetry) {
        m_registrationRetry->stop();
    }
    registerTapiClient();
}

void KIVO_Engine::ProcessTAPIEvent(UTIL_TAPI_Event *event)
{
    std::fprintf(stderr, "\nProcessing tapi event");
    if (!event) {
        return;
    }
    if (!event->GetRawData() || event->GetRawDataLength() == 0) {
        return;
    }
    if (event->GetType() == kCellStickerEventType) {
        ProcessTAPICellStickerEvent(event);
    }
}

void KIVO_Engine::TapiDisconnectedSlot()
{
    post({KIVO_EnginePopup::Kind::Message, QStringLiteral("KIVO: TAPI Disconnected"),
          QStringLiteral("TAPI Device Closed!")});
}

void KIVO_Engine::showTapiError(int code)
{
    post({KIVO_EnginePopup::Kind::TapiError, QStringLiteral("KIVO: TAPI Error"), QString(), code});
}

void KIVO_Engine::setPresenter(KIVO_Presenter *presenter)
{
    m_presenter = presenter;
    showWaitingPopups();
}

void KIVO_Engine::post(const KIVO_EnginePopup &popup)
{
    m_waitingPopups.enqueue(popup);
    showWaitingPopups();
}

void KIVO_Engine::showWaitingPopups()
{
    // Popups posted while one is open wait for the loop below; they are not opened over it.
    if (m_showingPopup || !m_presenter) {
        return;
    }
    m_showingPopup = true;
    while (!m_waitingPopups.isEmpty()) {
        const KIVO_EnginePopup popup = m_waitingPopups.dequeue();
        m_presenter->show(popup);
    }
    m_showingPopup = false;
}

void KIVO_Engine::releaseTitles()
{
    delete[] titlesArray;
    titlesArray = nullptr;
}
