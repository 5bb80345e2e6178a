#pragma once

#include <QByteArray>

// The panic screens keep their opener's title in at most this many characters.
constexpr int PANIC_TITLE_MAX = 99;

// The opener's title as a panic screen keeps it and puts it back on Back: cut to
// PANIC_TITLE_MAX characters; no name gives an empty title.
inline QByteArray panicOpenerTitle(const char *name)
{
    return QByteArray(name).left(PANIC_TITLE_MAX);
}
