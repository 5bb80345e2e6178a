#pragma once

#include <QString>

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
