#pragma once

#include <QByteArray>
#include <QString>

// The file-system root of the platform layer. When KIVO_ROOT is set and not empty, every
// absolute path that the program or the platform opens, lists, creates or hands to a shell
// goes under it; relative paths and an unset root leave paths as they stand (the device).

// The path as it is to be opened: under KIVO_ROOT when that is set and the path is absolute.
QString plRootedPath(const QString &path);
QByteArray plRootedPath(const char *path);

// The current root, empty when none is in force.
QByteArray plRoot();

// Quotes a word for /bin/sh: the whole word in single quotes, each ' written as '\''.
QByteArray plShellQuoted(const QByteArray &word);
