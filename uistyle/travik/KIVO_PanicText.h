#pragma once

#include "KIVO_Panic_Util.h"

#include <QString>
#include <QStringList>

// The texts of the panic viewer: the list rows and the detail texts of every panic kind. Plain
// functions, shared by the panic screens and the command-line panic tool so both show the same.

// List rows, each cut to 29 characters.
QString bpPanicRowText(const PanicRecord &record);           // BP and QUIRN: "3 1a2 01.02"
QString apPanicRowText(const ApDumpRecord &record);          // " 2  82100 "
QString kernelPanicRowText(const KernelPanicRecord &record); // " 82000 "

// The rows of a whole list, from the head: for BP, QUIRN and AP one row per node for `count`
// rows, ending early at the end of the list; for the kernel one row for the head record. Empty
// for an empty list, a count of 0 (BP, QUIRN, AP) or an unknown type.
QStringList panicRowTexts(PanicType type, const PanicNode *head, uint8_t count);

// Detail texts; the time is local time.
QString bpPanicDetailText(const PanicRecord &record); // BP and QUIRN, with the hex dump
QString apPanicDetailText(const ApDumpRecord &record);
QString kernelPanicDetailText(const KernelPanicRecord &record);

// The row or detail text of one node's record by panic type; empty for a null node or record
// and for an unknown type.
QString panicRowText(PanicType type, const PanicNode *node);
QString panicDetailText(PanicType type, const PanicNode *node);
