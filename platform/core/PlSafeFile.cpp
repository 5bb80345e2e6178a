#include "PlSafeFile.h"

#include "PlFileStatus.h"

#include <algorithm>

#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

QString errorText(int error)
{
    return QString::fromLocal8Bit(std::strerror(error));
}

// Why a file of this status is not taken; empty when it is.
QString statusProblem(const PlFileStatus &status, PlOwner owner, qint64 limit)
{
    if (S_ISLNK(status.mode)) {
        return QStringLiteral("a symbolic link");
    }
    if (!S_ISREG(status.mode)) {
        return QStringLiteral("not a regular file");
    }
    if (owner == PlOwner::SelfOrRoot && status.owner != ::geteuid() && status.owner != 0) {
        return QStringLiteral("owned by user %1").arg(status.owner);
    }
    if (limit >= 0 && status.size > limit) {
        return QStringLiteral("larger than %1 bytes").arg(limit);
    }
    return QString();
}

// The byte length of the valid UTF-8 sequence at `text[i]` that is no C1 control, 0 if none.
int printableSequence(const QByteArray &text, int i)
{
    const int length = plUtf8SequenceLength(text, i);
    // A C1 control (U+0080 to U+009F) is 0xC2 0x80 to 0xC2 0x9F.
    const bool c1 = length == 2 && static_cast<unsigned char>(text.at(i)) == 0xc2 &&
                    static_cast<unsigned char>(text.at(i + 1)) < 0xa0;
    return c1 ? 0 : length;
}

} // namespace

QString plUntrustedProblem(const char *path, PlOwner owner, qint64 limit)
{
    PlFileStatus status;
    if (plFileStatusAt(AT_FDCWD, path, AT_SYMLINK_NOFOLLOW, &status) != 0) {
        return errno == ENOENT ? QString() : errorText(errno);
    }
    return statusProblem(status, owner, limit);
}

int plOpenUntrusted(const char *path, PlOwner owner, qint64 limit, QString *problem)
{
    return plOpenUntrustedAt(AT_FDCWD, path, owner, limit, problem);
}

int plOpenUntrustedAt(int dirFd, const char *name, PlOwner owner, qint64 limit, QString *problem,
                      PlFileStatus *status)
{
    // O_NONBLOCK: a FIFO opens at once instead of waiting for a writer, and is refused below.
    const int fd = ::openat(dirFd, name, O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
    if (fd < 0) {
        const int error = errno;
        // O_NOFOLLOW refuses a link at the end of the path with ELOOP.
        if (problem) {
            *problem = error == ELOOP ? QStringLiteral("a symbolic link")
                                      : (error == ENOENT ? QString() : errorText(error));
        }
        errno = error;
        return -1;
    }
    PlFileStatus opened;
    QString found =
        plFileStatus(fd, &opened) == 0 ? statusProblem(opened, owner, limit) : errorText(errno);
    if (!found.isEmpty()) {
        ::close(fd);
        if (problem) {
            *problem = found;
        }
        errno = EINVAL;
        return -1;
    }
    if (problem) {
        problem->clear();
    }
    if (status) {
        *status = opened;
    }
    return fd;
}

bool plReadBounded(int fd, qint64 limit, QByteArray *data)
{
    data->clear();
    char buffer[16384];
    for (;;) {
        // One byte past the limit tells a file that is too long from one that fills it.
        const qint64 wanted = std::min<qint64>(qint64(sizeof buffer), limit + 1 - data->size());
        const ssize_t got = ::read(fd, buffer, size_t(wanted));
        if (got < 0 && errno == EINTR) {
            continue;
        }
        if (got < 0) {
            return false;
        }
        if (got == 0) {
            return true;
        }
        data->append(buffer, int(got));
        if (data->size() > limit) {
            data->truncate(int(limit));
            return false;
        }
    }
}

bool plWriteAll(int fd, const char *data, qint64 size)
{
    while (size > 0) {
        const ssize_t written = ::write(fd, data, size_t(size));
        if (written < 0 && errno == EINTR) {
            continue;
        }
        if (written <= 0) {
            return false;
        }
        data += written;
        size -= written;
    }
    return true;
}

bool plReplaceFile(const char *path, const QByteArray &data, mode_t mode, QString *problem)
{
    QByteArray temporary = QByteArray(path) + ".XXXXXX";
    // mkostemp creates the file exclusively with a name no one could have planted.
    const int fd = ::mkostemp(temporary.data(), O_CLOEXEC);
    if (fd < 0) {
        *problem = errorText(errno);
        return false;
    }
    bool saved = ::fchmod(fd, mode) == 0 && plWriteAll(fd, data.constData(), data.size()) &&
                 ::fsync(fd) == 0;
    int error = errno;
    if (::close(fd) != 0 && saved) {
        saved = false;
        error = errno;
    }
    if (saved && ::rename(temporary.constData(), path) != 0) {
        saved = false;
        error = errno;
    }
    if (!saved) {
        ::unlink(temporary.constData());
        *problem = errorText(error);
    }
    return saved;
}

int plUtf8SequenceLength(const QByteArray &text, int at)
{
    const auto byte = [&text](int i) { return static_cast<unsigned char>(text.at(i)); };
    const unsigned char lead = byte(at);
    int length = 0;
    uint32_t minimum = 0;
    uint32_t code = 0;
    if (lead < 0x80) {
        return 1;
    } else if ((lead & 0xe0) == 0xc0) {
        length = 2, minimum = 0x80, code = lead & 0x1f;
    } else if ((lead & 0xf0) == 0xe0) {
        length = 3, minimum = 0x800, code = lead & 0x0f;
    } else if ((lead & 0xf8) == 0xf0) {
        length = 4, minimum = 0x10000, code = lead & 0x07;
    } else {
        return 0;
    }
    if (at + length > text.size()) {
        return 0;
    }
    for (int i = 1; i < length; ++i) {
        if ((byte(at + i) & 0xc0) != 0x80) {
            return 0;
        }
        code = (code << 6) | (byte(at + i) & 0x3f);
    }
    const bool surrogate = code >= 0xd800 && code <= 0xdfff;
    return code < minimum || code > 0x10ffff || surrogate ? 0 : length;
}

QByteArray plTraceEscaped(const QByteArray &text)
{
    static const char hex[] = "0123456789ABCDEF";
    QByteArray shown;
    shown.reserve(text.size());
    for (int i = 0; i < text.size();) {
        const auto byte = static_cast<unsigned char>(text.at(i));
        if (byte >= 0x20 && byte < 0x7f) {
            shown += char(byte);
            ++i;
            continue;
        }
        const int length = byte >= 0x80 ? printableSequence(text, i) : 0;
        if (length > 0) {
            shown += text.mid(i, length);
            i += length;
            continue;
        }
        shown += "\\x";
        shown += hex[byte >> 4];
        shown += hex[byte & 0x0f];
        ++i;
    }
    return shown;
}
