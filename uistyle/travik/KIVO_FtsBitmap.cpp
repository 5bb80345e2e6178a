#include "KIVO_FtsBitmap.h"

namespace {

constexpr int kBitmapBits = 64;

bool hasBit(int bit)
{
    return bit >= 0 && bit < kBitmapBits;
}

} // namespace

void setBitMap(quint64 &bitmap, int bit)
{
    if (hasBit(bit)) {
        bitmap |= Q_UINT64_C(1) << bit;
    }
}

bool testBitMap(quint64 bitmap, int bit)
{
    if (bitmap == 0 || !hasBit(bit)) {
        return false;
    }
    return (bitmap >> bit) & 1u;
}

quint64 titleBitsShifted(quint64 bitmap, int titlesNum)
{
    // A shift by 64 or more is undefined in C++, so the two ends are spelt out.
    if (titlesNum <= 0) {
        return 0;
    }
    if (titlesNum >= kBitmapBits) {
        return bitmap;
    }
    return bitmap << (kBitmapBits - titlesNum);
}
