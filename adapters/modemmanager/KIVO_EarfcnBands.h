#pragma once

#include <QList>
#include <QString>

// The LTE bands a modem supports, from ModemManager's SupportedBands, and which downlink EARFCNs
// they hold (3GPP TS 36.101, table 5.7.3-1). A value type.
class KIVO_EarfcnBands {
public:
    // `modemBands` are MMModemBand values; all but the E-UTRAN bands are left out.
    explicit KIVO_EarfcnBands(const QList<uint> &modemBands = {});

    // True when `earfcn` is a downlink EARFCN of one of the modem's LTE bands.
    bool accepts(quint32 earfcn) const;
    // The LTE band numbers, "1,3,7,20"; "none" when there is no LTE band.
    QString names() const;
    bool isEmpty() const;

    // The LTE band whose downlink holds `earfcn`, 0 for none.
    static int bandOf(quint32 earfcn);

private:
    QList<int> m_bands; // LTE band numbers, ascending
};
