#include "KIVO_EarfcnBands.h"

#include <QStringList>

#include <algorithm>
#include <iterator>

namespace {

struct DownlinkRange {
    int band;
    quint32 first;
    quint32 last;
};

// Downlink EARFCN ranges (N_Offs-DL up to the band's last channel). Bands 15 and 16 are
// reserved; 55 to 64 hold no LTE band.
const DownlinkRange s_ranges[] = {
    {1, 0, 599},        {2, 600, 1199},     {3, 1200, 1949},    {4, 1950, 2399},
    {5, 2400, 2649},    {6, 2650, 2749},    {7, 2750, 3449},    {8, 3450, 3799},
    {9, 3800, 4149},    {10, 4150, 4749},   {11, 4750, 4949},   {12, 5010, 5179},
    {13, 5180, 5279},   {14, 5280, 5379},   {17, 5730, 5849},   {18, 5850, 5999},
    {19, 6000, 6149},   {20, 6150, 6449},   {21, 6450, 6599},   {22, 6600, 7399},
    {23, 7500, 7699},   {24, 7700, 8039},   {25, 8040, 8689},   {26, 8690, 9039},
    {27, 9040, 9209},   {28, 9210, 9659},   {29, 9660, 9769},   {30, 9770, 9869},
    {31, 9870, 9919},   {32, 9920, 10359},  {33, 36000, 36199}, {34, 36200, 36349},
    {35, 36350, 36949}, {36, 36950, 37549}, {37, 37550, 37749}, {38, 37750, 38249},
    {39, 38250, 38649}, {40, 38650, 39649}, {41, 39650, 41589}, {42, 41590, 43589},
    {43, 43590, 45589}, {44, 45590, 46589}, {45, 46590, 46789}, {46, 46790, 54539},
    {47, 54540, 55239}, {48, 55240, 56739}, {49, 56740, 58239}, {50, 58240, 59089},
    {51, 59090, 59139}, {52, 59140, 60139}, {53, 60140, 60254}, {54, 60255, 60304},
    {65, 65536, 66435}, {66, 66436, 67335}, {67, 67336, 67535}, {68, 67536, 67835},
    {69, 67836, 68335}, {70, 68336, 68585}, {71, 68586, 68935}, {85, 70366, 70545},
};

// ModemManager numbers E-UTRAN band n as 30 + n (MM_MODEM_BAND_EUTRAN_1 is 31, _85 is 115).
const uint s_eutranOffset = 30;
const uint s_firstEutran = 31;
const uint s_lastEutran = 115;

} // namespace

KIVO_EarfcnBands::KIVO_EarfcnBands(const QList<uint> &modemBands)
{
    for (uint value : modemBands) {
        if (value >= s_firstEutran && value <= s_lastEutran) {
            m_bands.append(int(value - s_eutranOffset));
        }
    }
    std::sort(m_bands.begin(), m_bands.end());
    m_bands.erase(std::unique(m_bands.begin(), m_bands.end()), m_bands.end());
}

bool KIVO_EarfcnBands::accepts(quint32 earfcn) const
{
    const int band = bandOf(earfcn);
    return band != 0 && m_bands.contains(band);
}

QString KIVO_EarfcnBands::names() const
{
    if (m_bands.isEmpty()) {
        return QStringLiteral("none");
    }
    QStringList names;
    for (int band : m_bands) {
        names << QString::number(band);
    }
    return names.join(QLatin1Char(','));
}

bool KIVO_EarfcnBands::isEmpty() const
{
    return m_bands.isEmpty();
}

int KIVO_EarfcnBands::bandOf(quint32 earfcn)
{
    for (const DownlinkRange &range : s_ranges) {
        if (earfcn >= range.first && earfcn <= range.last) {
            return range.band;
        }
    }
    return 0;
}
