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

// Rows and details of the crash records, beside those of KIVO_PanicText.h.
QString panicRowText(const PstoreRecord &record);   // "2 Panic dmesg-ramoops-0"
QString panicRowText(const CoredumpRecord &record); // " 2  kivo SIGSEGV"
QString panicRowText(const DevcdRecord &record);    // "1 4080000.remoteproc"
QString panicDetailText(const PstoreRecord &record);
QString panicDetailText(const CoredumpRecord &record);
QString panicDetailText(const DevcdRecord &record);
// "present", "missing", "none", "truncated", "inaccessible".
const char *coredumpCoreText(uint8_t core);
