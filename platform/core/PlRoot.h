#pragma once

#include <QByteArray>
#include <QString>

// The file-system root of the platform layer. When KIVO_ROOT is set and not empty, every
// absolute path that the program or the platform opens, lists, creates or hands to a shell
// goes under it; relative paths and an unset root leave paths as they stand (the device).

// The path as it is to be opened: under KIVO_ROOT when that is set and the path is absolute.
QString plRootedPath(const QString &path);
QByteArray plRootedPath(const char *path);

// The current root, empty when none is in force; always absolute (a relative KIVO_ROOT is taken
// against the current directory).
QByteArray plRoot();

// Makes a relative KIVO_ROOT absolute in the environment, against the current directory. Runs
// once by itself when the program starts; programs that start others inherit the absolute root.
void plMakeRootAbsolute();

// Quotes a word for /bin/sh: the whole word in single quotes, each ' written as '\''.
QByteArray plShellQuoted(const QByteArray &word);
