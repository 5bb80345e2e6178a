#include "PlFlexBit.h"

#include "PlFileStatus.h"
#include "PlRoot.h"
#include "PlSafeFile.h"

#include <QList>

#include <cstdio>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// No real flag file comes near this size.
constexpr qint64 s_flagFileLimit = 64 * 1024;

// Parses a decimal number that fills the whole (trimmed) text.
bool parseDecimal(const QByteArray &text, long long *value)
{
    bool ok = false;
    *value = text.trimmed().toLongLong(&ok, 10);
    return ok;
}

// The flag file's text. Only a regular file of at most s_flagFileLimit bytes is read: opening
// a FIFO or a device in its place would block start-up for good, and a huge file would take
// all memory. Anything else reads as no flag, like a missing file.
QByteArray flagFileText()
{
    static const char devicePath[] = "/etc/kivo/flexbits";
    // The file sits in a folder only root writes: a link there is the device's own.
    const int fd = ::open(plRootedPath(devicePath).constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        return QByteArray();
    }
    PlFileStatus status;
    QByteArray text;
    if (plFileStatus(fd, &status) == 0 && S_ISREG(status.mode) &&
        !plReadBounded(fd, s_flagFileLimit, &text)) {
        text.clear();
        std::fprintf(stderr, "[KIVO] getFlexBit %s unreadable: larger than %lld bytes\r\n",
                     devicePath, static_cast<long long>(s_flagFileLimit));
    }
    ::close(fd);
    return text;
}

} // namespace

int getFlexBit(int flag, unsigned char *byte)
{
    if (!byte) {
        return -1;
    }
    *byte = 0;
    const QByteArray text = flagFileText();
    for (const QByteArray &rawLine : text.split('\n')) {
        const QByteArray line = rawLine.trimmed();
        if (line.isEmpty() || line.startsWith('#')) {
            continue;
        }
        const int eq = line.indexOf('=');
        if (eq < 0) {
            continue;
        }
        long long key = 0;
        long long value = 0;
        if (!parseDecimal(line.left(eq), &key) || key != flag) {
            continue;
        }
        if (!parseDecimal(line.mid(eq + 1), &value)) {
            continue;
        }
        *byte = static_cast<unsigned char>(value & 0xff);
        return 0;
    }
    return -1;
}
