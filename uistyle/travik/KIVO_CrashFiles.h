#pragma once

#include "KIVO_Panic_Util.h"
#include "PlFileStatus.h"

#include <QByteArray>
#include <QList>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <vector>

// How the crash readers open what they read: the places are written by the kernel, journald,
// systemd-coredump and kivo-devcd-collect, but a phone's root can be anywhere (KIVO_ROOT) and
// an entry can be anything. Never a link followed at the last step, never a wait (FIFO, a
// stalled device), regular files only (plOpenUntrustedAt() of PlSafeFile.h), every read
// bounded (plReadBounded()).

// Opens a directory by its full path; the last step is never a link. -1 when it cannot be.
int crashOpenDirectory(const QByteArray &path);
// Opens a subdirectory `name` of `dirFd`; no link. -1 otherwise.
int crashOpenDirectoryAt(int dirFd, const char *name);

// The names of a directory's entries (not "." and ".."), at most `limit` of them. The
// descriptor stays open and owned by the caller.
QList<QByteArray> crashDirectoryNames(int dirFd, int limit);

// A name or text for a trace or a screen: control bytes as "\xHH", the rest as it is.
QByteArray crashPrintable(const QByteArray &text);

// Copies `text` into a fixed buffer of `size` bytes, cut, always terminated.
void crashCopy(char *buffer, size_t size, const QByteArray &text);

// Puts calloc'ed records into the panic list: ordered by time (ties by `before`), the newest
// PANIC_MAX_RECORDS kept and numbered 1 to count from the oldest, the newest at the head. The
// records not kept are freed; *count is the number of records in the list.
template <typename Record, typename Before>
void crashListRecords(std::vector<Record *> records, PanicNode **head, uint8_t *count,
                      Before before)
{
    std::sort(records.begin(), records.end(), [&](const Record *a, const Record *b) {
        if (a->timestamp != b->timestamp) {
            return a->timestamp < b->timestamp;
        }
        return before(*a, *b);
    });
    const size_t first =
        records.size() > PANIC_MAX_RECORDS ? records.size() - PANIC_MAX_RECORDS : 0;
    for (size_t i = 0; i < first; ++i) {
        std::free(records[i]);
    }
    *count = 0;
    for (size_t i = first; i < records.size(); ++i) {
        records[i]->panicNum = *count + 1u;
        if (!addPanicNode(head, records[i])) {
            // The node was not made and the record is freed; so are the rest.
            for (size_t j = i + 1; j < records.size(); ++j) {
                std::free(records[j]);
            }
            return;
        }
        ++*count;
    }
}
