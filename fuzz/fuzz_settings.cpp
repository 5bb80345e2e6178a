// The settings store on files of arbitrary bytes, as an engineer may have edited them: the
// settings load, a read of "/tmp/kivo", then a write of one key of the settings table in its
// store and a read of it back. The first byte picks the row; the rest is the file, used for
// both stores.
#include "KIVO_Engine.h"
#include "KIVO_FuzzSupport.h"
#include "KIVO_Settings.h"

#include <cstdlib>

namespace {

KIVO_Engine *s_engine = nullptr;

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
    const KIVO_Setting &setting = kSettings[data[0] % kSettingsCount];
    const QByteArray ini = iniFilePath().toLocal8Bit();
    KIVO_Fuzz::writeRootedFile(ini.constData(), data + 1, size - 1);
    KIVO_Fuzz::writeRootedFile(kVolatilePath, data + 1, size - 1);

    loadSettings(s_engine);
    readSetting(settingFor(kKeyCellBarring));

    // A value written must read back, whatever the file held before.
    const QByteArray path = settingStorePath(setting.store).toLocal8Bit();
    const int value = setting.held(0x5a5a + int(size));
    writeIntEntry(path.constData(), setting.key, value);
    if (readSetting(setting) != value) {
        std::abort();
    }
    return 0;
}
