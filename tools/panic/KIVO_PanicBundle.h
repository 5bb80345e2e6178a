#pragma once

#include <QString>

// The service bundle: one timestamped tar.gz holding the raw panic files, the dump listing,
// the module table, the kernel report, the decoded records as JSON, KIVO's settings files and
// a SHA-256 manifest of every other member. Only reads under the root; changes nothing there.
class KIVO_PanicBundle {
public:
    enum class Dumps { NamesOnly, Included };

    explicit KIVO_PanicBundle(Dumps dumps);

    // Writes the bundle into `outputDir` and returns the archive's path, or an empty string
    // after which error() tells what went wrong. A failed bundle leaves no file behind.
    QString write(const QString &outputDir);
    QString error() const;

    // The settings file's device path: $VEK_APP_WRITE_PATH (default
    // "/vek_user/download/appwrite/") followed by "/kivo/kivo.ini".
    static QString settingsFilePath();

private:
    Dumps m_dumps;
    QString m_error;
};
