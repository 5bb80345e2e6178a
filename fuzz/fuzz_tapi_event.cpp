// The telephony event dispatch: ProcessTAPIEvent with arbitrary types and raw data (empty and
// 1 to 3 bytes included) on an engine in an arbitrary cell sticker state. Each input is the
// state, then up to eight events. The engine runs headless: a core application, and a presenter
// that counts the popups it is given instead of showing them.
#include "KIVO_Engine.h"
#include "KIVO_FuzzSupport.h"
#include "KIVO_Presenter.h"
#include "KIVO_Settings.h"
#include "PlRoot.h"
#include "UTIL_TAPI_Event.h"

#include <QCoreApplication>
#include <QFile>
#include <QSettings>

#include <fuzzer/FuzzedDataProvider.h>

#include <cstdlib>
#include <vector>

namespace {

class CountingPresenter final : public KIVO_Presenter {
public:
    void show(const KIVO_EnginePopup &popup) override
    {
        notices += popup.kind == KIVO_EnginePopup::Kind::Notice ? 1 : 0;
    }
    int notices = 0;
};

KIVO_Engine *s_engine = nullptr;
CountingPresenter s_presenter;

} // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    KIVO_Fuzz::setUpEnvironment();
    static int argc = 1;
    static char name[] = "fuzz_tapi_event";
    static char *argv[] = {name, nullptr};
    new QCoreApplication(argc, argv);
    s_engine = new KIVO_Engine;
    s_engine->setPresenter(&s_presenter);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    FuzzedDataProvider provider(data, size);
    const QString ini = plRootedPath(iniFileLocation());
    QFile::remove(ini);

    s_engine->cellStickerState = provider.ConsumeIntegralInRange<int>(-1, 3);
    s_engine->prevCellStickerState = provider.ConsumeIntegralInRange<int>(-1, 3);
    s_engine->cell_sticker_mode = provider.ConsumeIntegral<quint8>();
    s_engine->arfcn = provider.ConsumeIntegral<int>();
    s_engine->storedArfcn = provider.ConsumeIntegral<int>();
    setStickerArfcn(s_engine->stickerRequest, provider.ConsumeIntegral<quint32>());

    int outcomes = 0;
    s_presenter.notices = 0;
    for (int i = 0; i < 8 && provider.remaining_bytes() > 0; ++i) {
        const quint16 type =
            provider.ConsumeBool() ? quint16(0x0F03) : provider.ConsumeIntegral<quint16>();
        const std::vector<char> raw =
            provider.ConsumeBytes<char>(provider.ConsumeIntegralInRange<size_t>(0, 16));
        outcomes += type == 0x0F03 && raw.size() >= 4 ? 1 : 0;
        UTIL_TAPI_Event event(type, QByteArray(raw.data(), int(raw.size())));
        s_engine->ProcessTAPIEvent(&event);
    }
    s_engine->ProcessTAPIEvent(nullptr);

    // Every outcome is told, none is dropped.
    if (s_presenter.notices != outcomes) {
        std::abort();
    }
    // Whatever the handler settled is on disk: the stored state is the engine's.
    if (QFile::exists(ini)) {
        QSettings stored(ini, QSettings::IniFormat);
        const QVariant state = stored.value(QStringLiteral("KIVO/Cell Sticker State"));
        if (state.isValid() && state.toInt() != s_engine->cellStickerState) {
            std::abort();
        }
    }
    return 0;
}
