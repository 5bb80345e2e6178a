#pragma once

#include <QtGlobal>

// Bit arithmetic of the favourites and visibles bitmaps the two editors share: bit i (bit 0
// least significant) stands for title i; titles from 64 on have no bit.

// Sets bit `bit` of `bitmap`; a bit number outside 0..63 leaves it unchanged.
void setBitMap(quint64 &bitmap, int bit);
// Whether bit `bit` is set; false for a bitmap of 0 and for a bit number outside 0..63.
bool testBitMap(quint64 bitmap, int bit);

// The bits of the first `titlesNum` titles, moved to the top of the word (shifted left by
// 64 - titlesNum), as the visibles editor compares them. With 64 titles or more every bit
// counts; with none, no bit does and the result is 0.
quint64 titleBitsShifted(quint64 bitmap, int titlesNum);
