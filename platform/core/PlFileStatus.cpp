#include "PlFileStatus.h"

#include <sys/stat.h>

int plFileStatusAt(int dirFd, const char *path, int flags, PlFileStatus *status)
{
    // The C library answers from fstatat() itself where the kernel has no statx (before 4.11).
    struct statx info;
    const unsigned int wanted = STATX_TYPE | STATX_MODE | STATX_UID | STATX_SIZE | STATX_MTIME;
    if (statx(dirFd, path, flags, wanted, &info) != 0) {
        return -1;
    }
    status->mode = info.stx_mode;
    status->owner = info.stx_uid;
    status->size = int64_t(info.stx_size);
    status->modified = info.stx_mtime.tv_sec;
    return 0;
}
