// The engine's side of the cell sticker: the outcome events (type 0x0F03) go to the sticker
// machine, which reaches the settings file and the telephony layer through the link below.
#include "KIVO_Engine.h"

#include "KIVO_Settings.h"
#include "PlConfig.h"
#include "UTIL_TAPI_Event.h"

#include <QtEndian>

#include <climits>
#include <cstdio>
#include <functional>
#include <utility>

namespace {

// The settings store, the telephony client library and the engine's popups, as the sticker
// uses them: `show` opens a popup at once, `post` queues it behind any that is open, and
// `tapiError` is the engine's own telephony error popup.
class EngineStickerLink final : public KIVO_StickerLink {
public:
    using Show = std::function<void(const KIVO_EnginePopup &)>;
    EngineStickerLink(Show show, Show post, std::function<void(int)> tapiError)
        : m_show(std::move(show)), m_post(std::move(post)), m_tapiError(std::move(tapiError))
    {
    }

    int readSetting(const KIVO_Setting &setting) override
    {
        return ::readSetting(setting);
    }

    void writeSetting(const char *key, qint64 value) override
    {
        PlConfig config(iniFilePath(), false);
        const QString group = QString::fromLatin1(kSettingsGroup);
        if (value > INT_MAX) {
            config.writeEntry(group, QString::fromLatin1(key), static_cast<unsigned int>(value));
        } else {
            config.writeEntry(group, QString::fromLatin1(key), static_cast<int>(value));
        }
    }

    quint8 checkArfcn(quint32 arfcn) override
    {
        // The verdict is not preset: the library writes it, also when the call fails.
        ArfcnCheck check;
        check.arfcn = arfcn;
        TAPI_KIVO_CheckArfcn(&check);
        return check.verdict;
    }

    int sendRequest(const StickerRequest *request) override
    {
        return TAPI_KIVO_SetCellStickerMode(request);
    }

    void showMessage(const QString &title, const QString &text) override
    {
        m_show({KIVO_EnginePopup::Kind::Message, title, text});
    }

    void showNotice(const QString &text) override
    {
        m_post({KIVO_EnginePopup::Kind::Notice, QStringLiteral("Cell Sticker Information"), text});
    }

    void showTapiError(int status) override
    {
        m_tapiError(status);
    }

private:
    Show m_show;
    Show m_post;
    std::function<void(int)> m_tapiError;
};

} // namespace

void KIVO_Engine::setUpSticker()
{
    // The messages of "Set" are the user's own: each shows at once, and the request goes on
    // once it is closed. Notices and telephony errors wait their turn like the engine's own.
    m_stickerLink = std::make_unique<EngineStickerLink>(
        [this](const KIVO_EnginePopup &popup) {
            if (m_presenter) {
                m_presenter->show(popup);
            } else {
                post(popup);
            }
        },
        [this](const KIVO_EnginePopup &popup) { post(popup); },
        [this](int status) { showTapiError(status); });
    m_sticker = new KIVO_StickerMachine({cell_sticker_mode, stickerRequest, arfcn, storedArfcn,
                                         cellStickerState, prevCellStickerState},
                                        m_stickerLink.get(), this);
    connect(m_sticker, &KIVO_StickerMachine::cellBarred, this, &KIVO_Engine::cellBarred);
}

KIVO_StickerMachine *KIVO_Engine::stickerMachine() const
{
    return m_sticker;
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
    m_sticker->outcome(qFromLittleEndian<quint32>(event->GetRawData()));
}
