#include "KIVO_CrashFiles.h"

#include "KIVO_Panic_Util.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

int crashOpenDirectory(const QByteArray &path)
{
    return open(path.constData(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
}

int crashOpenDirectoryAt(int dirFd, const char *name)
{
    return openat(dirFd, name, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
}

QList<QByteArray> crashDirectoryNames(int dirFd, int limit)
{
    QList<QByteArray> names;
    const int own = fcntl(dirFd, F_DUPFD_CLOEXEC, 0);
    if (own < 0) {
        return names;
    }
    DIR *dir = fdopendir(own);
    if (!dir) {
        close(own);
        return names;
    }
    rewinddir(dir);
    while (const struct dirent *entry = readdir(dir)) {
        if (std::strcmp(entry->d_name, ".") == 0 || std::strcmp(entry->d_name, "..") == 0) {
            continue;
        }
        if (names.size() >= limit) {
            break;
        }
        names << QByteArray(entry->d_name);
    }
    closedir(dir);
    return names;
}

// Not plTraceEscaped(): crash rows keep every byte from 0x80 up and write lower-case escapes.
QByteArray crashPrintable(const QByteArray &text)
{
    QByteArray printable;
    for (const char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte < 0x20 || byte == 0x7f) {
            char escape[5];
            std::snprintf(escape, sizeof escape, "\\x%02x", byte);
            printable += escape;
        } else {
            printable += c;
        }
    }
    return printable;
}

void crashCopy(char *buffer, size_t size, const QByteArray &text)
{
    const size_t length = std::min(size - 1, size_t(text.size()));
    std::memcpy(buffer, text.constData(), length);
    buffer[length] = '\0';
}
