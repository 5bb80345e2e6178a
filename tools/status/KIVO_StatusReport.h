#pragma once

#include <QByteArray>
#include <QList>
#include <QString>

// What KIVO has set on this phone: its settings read from the settings file and "/tmp/kivo"
// as KIVO reads them, each with its meaning and whether it differs from the default. Reading
// creates nothing. A plain value, owned by whoever holds it.
class KIVO_StatusReport {
public:
    struct Setting {
        QString id;     // the JSON name, "cellBarAccess"
        QString label;  // "Cell bar access"
        QString key;    // the key in its file, "Cell Barring"
        int value = 0;  // as KIVO holds it (the 8-bit settings keep the low 8 bits)
        int stored = 0; // as the file holds it
        QString text;   // the meaning: "Inverted", "62 (P-GSM 900)", "unknown value 7 (...)"
        QString band;   // for the stored ARFCN only: the GSM band, empty for none
        bool known = true;
        bool isDefault = true;
    };

    struct File {
        QString path; // the device path, as KIVO's traces show it
        bool present = false;
        QString readProblem;  // why KIVO cannot read it ("not a regular file"), empty if none
        QString writeProblem; // why KIVO could not save it now, empty when nothing is seen
    };

    // Reads both files under KIVO_ROOT; missing or unreadable files and missing keys read as
    // the defaults. Whether KIVO could save each file is looked at without writing anything.
    static KIVO_StatusReport read();

    // The GSM band of an ARFCN ("P-GSM 900", "DCS 1800 or PCS 1900"), or "no GSM band". Where
    // the 900 MHz bands overlap, the narrowest one that holds the ARFCN is named.
    static QString gsmBand(int arfcn);

    QString text() const;
    QByteArray json() const;

private:
    QList<const Setting *> flagged() const;
    const Setting &setting(const QString &id) const;
    QStringList hints() const;

    QString m_root;
    File m_settingsFile;
    File m_volatileFile;
    QList<Setting> m_settings;
};
