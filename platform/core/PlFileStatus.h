#pragma once

#include <cstdint>
#include <fcntl.h>
#include <sys/types.h>

// What KIVO needs of a file's status, with 64-bit size and time on every architecture.
// stat() built with a 32-bit time_t (armhf) fails with EOVERFLOW for a file modified after
// January 2038: a panic log or core dump stamped by a clock that ran ahead would read as
// missing. statx() has 64-bit fields everywhere.
struct PlFileStatus {
    mode_t mode = 0;
    uid_t owner = 0;
    int64_t size = 0;
    int64_t modified = 0; // seconds since the Unix epoch
};

// As fstatat(): `path` relative to `dirFd`, following symlinks unless `flags` has
// AT_SYMLINK_NOFOLLOW. 0, or -1 with errno set.
int plFileStatusAt(int dirFd, const char *path, int flags, PlFileStatus *status);

inline int plFileStatus(const char *path, PlFileStatus *status)
{
    return plFileStatusAt(AT_FDCWD, path, 0, status);
}

// The status of an open descriptor.
inline int plFileStatus(int fd, PlFileStatus *status)
{
    return plFileStatusAt(fd, "", AT_EMPTY_PATH, status);
}
