// slotFTSEngineMessage with arbitrary message names and data blocks, a few messages in a row
// on one engine, as any process on the bus could send them on "kivo_listen_channel". Each
// message is a selector (one of the three response names, or a name from the input), then the
// data block.
#include "KIVO_Engine.h"
#include "KIVO_FtsWire.h"
#include "KIVO_FuzzSupport.h"

#include <fuzzer/FuzzedDataProvider.h>

#include <cstdlib>
#include <cstring>
#include <string>

namespace {

KIVO_Engine *s_engine = nullptr;

// A bitmap response reads two big-endian 32-bit halves; a missing half reads as 0.
quint64 expectedBitmap(const std::string &data)
{
    auto half = [&data](size_t offset) -> quint64 {
        if (data.size() < offset + 4) {
            return 0;
        }
        quint64 value = 0;
        for (size_t i = offset; i < offset + 4; ++i) {
            value = (value << 8) | static_cast<unsigned char>(data[i]);
        }
        return value;
    };
    return (half(0) << 32) | half(4);
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    KIVO_Fuzz::setUpEnvironment();
    KIVO_Fuzz::ensureApplication();
    s_engine = new KIVO_Engine;
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    using namespace KIVO_FtsWire;
    FuzzedDataProvider provider(data, size);
    for (int message = 0; message < 4 && provider.remaining_bytes() > 0; ++message) {
        std::string name;
        switch (provider.ConsumeIntegralInRange<int>(0, 3)) {
        case 0:
            name = kTitlesResponse;
            break;
        case 1:
            name = kFavouritesResponse;
            break;
        case 2:
            name = kVisiblesResponse;
            break;
        default:
            name = provider.ConsumeRandomLengthString(64);
            break;
        }
        const std::string block = provider.ConsumeRandomLengthString(1 << 16);
        const quint64 favourites = s_engine->fabBitMap;
        const quint64 visibles = s_engine->visBitMap;
        s_engine->slotFTSEngineMessage(QByteArray(name.data(), int(name.size())),
                                       QByteArray(block.data(), int(block.size())));

        // Names are compared as C strings: what follows a NUL does not count.
        const char *cName = name.c_str();
        if (std::strcmp(cName, kTitlesResponse) == 0) {
            const quint8 count = block.empty() ? 0 : static_cast<quint8>(block[0]);
            if (s_engine->titlesNum != count || !s_engine->titlesArray) {
                std::abort();
            }
            size_t total = 0;
            for (int i = 0; i < s_engine->titlesNum; ++i) {
                total += size_t(s_engine->titlesArray[i].size());
            }
            // No title holds more characters than the block had bytes.
            if (total > block.size()) {
                std::abort();
            }
        } else if (std::strcmp(cName, kFavouritesResponse) == 0) {
            if (s_engine->fabBitMap != expectedBitmap(block) || s_engine->visBitMap != visibles) {
                std::abort();
            }
        } else if (std::strcmp(cName, kVisiblesResponse) == 0) {
            if (s_engine->visBitMap != expectedBitmap(block) || s_engine->fabBitMap != favourites) {
                std::abort();
            }
        } else if (s_engine->fabBitMap != favourites || s_engine->visBitMap != visibles) {
            std::abort();
        }
    }
    return 0;
}
