#pragma once

#include <QByteArray>
#include <QString>

#include <sys/types.h>

struct PlFileStatus;

// Files that another user may have planted or swapped: a path in a world-writable folder, a
// store another program can write. Such a file is opened without following a symbolic link at
// its end and without blocking on a FIFO or device, read only up to what a real one can hold,
// and written only by a new file renamed into place, never through what stands at the path.

// Who may own a file that is taken as it stands.
enum class PlOwner {
    Anyone,
    SelfOrRoot, // the effective user or root: a file of another user is someone else's
};

// Opens `path` read-only when it is a regular file (not a symbolic link) owned as `owner` asks
// and of at most `limit` bytes (no limit when negative). Returns the descriptor, or -1 with
// `problem` saying why ("a symbolic link", "not a regular file", "owned by user 1000",
// "larger than 65536 bytes", the system's error text) and errno set: the open's own error (a
// missing file is ENOENT, a link ELOOP), or EINVAL for a file refused by its status.
int plOpenUntrusted(const char *path, PlOwner owner, qint64 limit, QString *problem);

// The same for the entry `name` of the open directory `dirFd` (a relative name never leaves
// it through a link at its end); `problem` may be null, and `status`, when given, receives the
// opened file's status.
int plOpenUntrustedAt(int dirFd, const char *name, PlOwner owner, qint64 limit, QString *problem,
                      PlFileStatus *status = nullptr);

// The reason plOpenUntrusted() would refuse `path`, from its status alone; empty when it would
// open it or the file is missing. Opens nothing.
QString plUntrustedProblem(const char *path, PlOwner owner, qint64 limit);

// Reads at most `limit` bytes from `fd` into `data`. False on a read error, or when the file
// holds more than `limit` bytes (`data` then holds the first `limit`).
bool plReadBounded(int fd, qint64 limit, QByteArray *data);

// Writes all `size` bytes of `data` to `fd`, again after an interruption. False when a write
// fails or writes nothing.
bool plWriteAll(int fd, const char *data, qint64 size);

// Replaces the file at `path` with `data`: a new file beside it (created exclusively, never
// through a link), synced and renamed over the path, so a link planted there is replaced, not
// followed. `mode` gives the new file's permissions. False with `problem` set when not saved.
bool plReplaceFile(const char *path, const QByteArray &data, mode_t mode, QString *problem);

// The length of the valid UTF-8 sequence that starts at `text[at]` (1 for an ASCII byte), or 0
// when none does: a stray, overlong, cut or surrogate sequence, or one past U+10FFFF.
int plUtf8SequenceLength(const QByteArray &text, int at);

// Text from outside (a message name, a file name) as a trace may show it: every control
// character (C0, DEL, C1) and every byte that is not part of valid UTF-8 as \xHH, the rest
// byte for byte.
QByteArray plTraceEscaped(const QByteArray &text);
inline QByteArray plTraceEscaped(const QString &text)
{
    return plTraceEscaped(text.toUtf8());
}
