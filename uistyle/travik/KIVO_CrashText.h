#pragma once

#include "KIVO_CrashRecords.h"
#include "KIVO_PanicText.h"

// The three crash sources of a mainline Linux beside the seed's four: their words for
// kivo-panic, the screen row they join, their readers and texts.

// {PANIC_PSTORE "pstore", PANIC_COREDUMP "coredump", PANIC_DEVCD "devcd"}; `title` is the title
// of the source menu row whose list they join ("Kernel Panic", "AP Panics", "BP Panics").
extern const PanicSource crashSources[3];

// The crash source that joins the list of a seed source (pstore the kernel's, coredump the
// AP's, devcd the BP's), or null.
const PanicSource *crashSourceJoining(PanicType seedType);
// The source of any type, the seed's four and the crash sources; null for an unknown one.
const PanicSource *anyPanicSource(PanicType type);
const PanicSource *anyPanicSourceNamed(const char *name);
// Every source in the order kivo-panic reports them: the seed's four, then the crash sources.
QList<const PanicSource *> allPanicSources();

// Rows and details of the crash records; empty for a null node or another type.
QString pstoreRowText(const PstoreRecord &record);     // "2 Panic dmesg-ramoops-0"
QString coredumpRowText(const CoredumpRecord &record); // " 2  kivo SIGSEGV"
QString devcdRowText(const DevcdRecord &record);       // "1 4080000.remoteproc"
QString crashRowText(PanicType type, const PanicNode *node);
QString crashDetailText(PanicType type, const PanicNode *node);
int64_t crashTime(PanicType type, const PanicNode *node);
// "present", "missing", "none", "truncated", "inaccessible".
const char *coredumpCoreText(uint8_t core);
