#pragma once

#include <QString>

#include <cstddef>

// The settings store: the persistent ini file (group "KIVO") and the volatile "/tmp/kivo".
// Every access opens its own PlConfig and closes it at the end of the operation.

// $VEK_APP_WRITE_PATH (default "/vek_user/download/appwrite/") + "/kivo/" + "kivo.ini", joined
// as plain strings; creates the directory up to "/kivo/" (under KIVO_ROOT) on every call.
QString iniFilePath();
// The same path without creating anything, for readers that must leave the phone untouched.
QString iniFileLocation();

int readIntEntry(const char *path, const char *key, int defaultValue);
void writeIntEntry(const char *path, const char *key, int value);

// The keys, spelt as the file holds them.
inline constexpr const char *kSettingsGroup = "KIVO";
inline constexpr const char *kKeyMsgWarning = "msg_warning_mode";
inline constexpr const char *kKeyToneWarning = "tone_warning_mode";
inline constexpr const char *kKeyKivoMode = "kivo_mode";
inline constexpr const char *kKeyStoredArfcn = "storedArfcn";
inline constexpr const char *kKeyStickerMode = "cell_sticker_mode";
inline constexpr const char *kKeyStickerState = "Cell Sticker State";
inline constexpr const char *kVolatilePath = "/tmp/kivo";
inline constexpr const char *kKeyCellBarring = "Cell Barring";

// The settings table, the one place that ties each key to its default, the width of the
// engine field it fills, its store and that field: per row key, default, width, store, field.
// A Low8 field is unsigned 8-bit and keeps the low 8 bits of the integer read. The persistent
// rows stand in the order loadSettings reads them; the volatile one is read by the Cell Bar
// Access screen alone. F is a macro of five arguments, so that the engine can name its field.
#define KIVO_FOR_EACH_SETTING(F)                                                                   \
    F(kKeyMsgWarning, 0, Low8, Persistent, msg_warning_mode)                                       \
    F(kKeyToneWarning, 0, Low8, Persistent, tone_warning_mode)                                     \
    F(kKeyKivoMode, 0, Int, Persistent, kivo_mode)                                                 \
    F(kKeyStoredArfcn, -1, Int, Persistent, storedArfcn)                                           \
    F(kKeyStickerMode, 0, Low8, Persistent, cell_sticker_mode)                                     \
    F(kKeyStickerState, 0, Int, Persistent, cellStickerState)                                      \
    F(kKeyCellBarring, 0, Int, Volatile, cellBarMode)

// One row of the settings table.
struct KIVO_Setting {
    enum class Width { Int, Low8 };
    enum class Store { Persistent, Volatile };

    const char *key;
    int defaultValue;
    Width width;
    Store store;
    const char *field; // the engine field, by name

    // What the engine field holds when the store holds `stored`.
    constexpr int held(int stored) const
    {
        return width == Width::Low8 ? static_cast<int>(static_cast<unsigned int>(stored) & 0xffu)
                                    : stored;
    }
};

// A row of KIVO_FOR_EACH_SETTING as a KIVO_Setting.
#define KIVO_SETTING_ROW(key, defaultValue, width, store, field)                                   \
    KIVO_Setting                                                                                   \
    {                                                                                              \
        key, defaultValue, KIVO_Setting::Width::width, KIVO_Setting::Store::store, #field          \
    }
#define KIVO_SETTING_ENTRY(key, defaultValue, width, store, field)                                 \
    KIVO_SETTING_ROW(key, defaultValue, width, store, field),

inline constexpr KIVO_Setting kSettings[] = {KIVO_FOR_EACH_SETTING(KIVO_SETTING_ENTRY)};
inline constexpr std::size_t kSettingsCount = sizeof(kSettings) / sizeof(kSettings[0]);

// The row of `key`; every key above has one.
const KIVO_Setting &settingFor(const char *key);
// The device path of a store: iniFilePath() (which creates its directory) or "/tmp/kivo".
QString settingStorePath(KIVO_Setting::Store store);
// A setting as its engine field holds it, read from its store with its default.
int readSetting(const KIVO_Setting &setting);
