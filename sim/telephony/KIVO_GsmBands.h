#pragma once

#include <QList>
#include <QString>
#include <QStringList>

// The GSM bands and their ARFCN ranges, and the set of bands the simulated phone works in.
// A plain value; DCS 1800 and PCS 1900 share ARFCNs 512-810, so a set holds one or the other.
class KIVO_GsmBands {
public:
    enum class Fit {
        InBandSet,    // an ARFCN of a band the phone works in
        OtherGsmBand, // a GSM ARFCN, but of a band outside the set
        NoGsmBand,    // not an ARFCN of any GSM band
    };

    // The default set: E-GSM 900 and DCS 1800.
    KIVO_GsmBands();

    // A comma-separated list of band names (case and blanks ignored): GSM450, GSM480, GSM850,
    // P-GSM900, E-GSM900, R-GSM900, DCS1800, PCS1900. False with a reason when it is not one.
    static bool parse(const QString &list, KIVO_GsmBands *bands, QString *error);

    Fit fit(quint32 arfcn) const;
    // The names of the bands that own the ARFCN, from the whole table.
    QStringList bandsOf(quint32 arfcn) const;
    QString names() const;
    // Every band of the table with its ranges, one per line, for --help.
    static QString table();

private:
    QList<int> m_bands; // indexes into the band table
};
