#pragma once

#include "KIVO_Panic_Util.h"

#include <QList>
#include <QString>
#include <QStringList>

// The texts of the panic viewer: the list rows and the detail texts of every panic kind. Plain
// functions, shared by the panic screens and the command-line panic tool so both show the same.

// The four panic sources, the one table that the panic screens and kivo-panic share: in the
// order of the source menu, so that the row index is the PanicType.
struct PanicSource {
    PanicType type;
    const char *name;  // "bp", "ap", "quirn", "kernel": the word kivo-panic takes
    const char *title; // the row of the source menu
    // Reads the source into a list; the kernel capture leaves the count alone.
    void (*read)(PanicNode **head, uint8_t *count);
};
extern const PanicSource panicSources[4];
// The source of a type, or null for a type outside 0 to 3.
const PanicSource *panicSource(PanicType type);
// The source named `name`, or null.
const PanicSource *panicSourceNamed(const char *name);

// List rows, each cut to 29 characters (those of the crash records in KIVO_CrashText.h).
QString panicRowText(const PanicRecord &record);       // BP and QUIRN: "3 1a2 01.02"
QString panicRowText(const ApDumpRecord &record);      // " 2  82100 "
QString panicRowText(const KernelPanicRecord &record); // " 82000 "

// The rows of a whole list, from the head: one row per node for `count` rows, ending early at
// the end of the list; for the kernel one row for the head record. Empty for an empty list, a
// count of 0 (all but the kernel) or an unknown type.
QStringList panicRowTexts(PanicType type, const PanicNode *head, uint8_t count);
// The nodes those rows show, in row order: row i opens the record of node i.
QList<PanicNode *> panicRowNodes(PanicType type, PanicNode *head, uint8_t count);

// The time of a node's record (0 for a null node or record, or an unknown type).
int64_t panicTime(PanicType type, const PanicNode *node);

// Detail texts; the time is local time.
QString panicDetailText(const PanicRecord &record); // BP and QUIRN, with the hex dump
QString panicDetailText(const ApDumpRecord &record);
QString panicDetailText(const KernelPanicRecord &record);

// The row or detail text of one node's record of any type; empty for a null node or record
// and for an unknown type.
QString panicRowText(PanicType type, const PanicNode *node);
QString panicDetailText(PanicType type, const PanicNode *node);
