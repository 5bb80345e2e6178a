// The settings store on files of arbitrary bytes, as an engineer may have edited them: the
// settings load, a read of "/tmp/kivo", then a write of one key and a read of it back. The
// first byte picks which key is written; the rest is the file, used for both stores.
#include "KIVO_Engine.h"
#include "KIVO_FuzzSupport.h"
#include "KIVO_Settings.h"

#include <cstdlib>

namespace {

KIVO_Engine *s_engine = nullptr;

const char *const s_keys[] = {kKeyMsgWarning,  kKeyToneWarning, kKeyKivoMode,
                              kKeyStoredArfcn, kKeyStickerMode, kKeyStickerState};

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
    if (size == 0) {
        return 0;
    }
    const char *key = s_keys[data[0] % 6];
    const QByteArray ini = iniFilePath().toLocal8Bit();
    KIVO_Fuzz::writeRootedFile(ini.constData(), data + 1, size - 1);
    KIVO_Fuzz::writeRootedFile(kVolatilePath, data + 1, size - 1);

    loadSettings(s_engine);
    readIntEntry(kVolatilePath, kKeyCellBarring, 0);

    // A value written must read back, whatever the file held before.
    const int value = 0x5a5a + int(size);
    writeIntEntry(ini.constData(), key, value);
    if (readIntEntry(ini.constData(), key, -7) != value) {
        std::abort();
    }
    writeIntEntry(kVolatilePath, kKeyCellBarring, 2);
    if (readIntEntry(kVolatilePath, kKeyCellBarring, -7) != 2) {
        std::abort();
    }
    return 0;
}
