#pragma once

#include "KIVO_CrashRecords.h"

#include <cstdlib>
#include <type_traits>
#include <utility>

// The one place where a panic record's memory is typed: records are made by allocPanicRecord()
// and read through visitPanicRecord(); every text, time, number and JSON field of a record is
// reached that way. A node frees its record with std::free whatever the record's kind.

// A zeroed record for a panic list node, or null when memory runs out. Records are plain data,
// so that std::free releases any of them.
template <typename Record> Record *allocPanicRecord()
{
    static_assert(std::is_trivially_copyable_v<Record> && std::is_standard_layout_v<Record>);
    return static_cast<Record *>(std::calloc(1, sizeof(Record)));
}

// Calls `visit` with the record of `node` as the type that `type` gives it: PanicRecord (BP,
// QUIRN), ApDumpRecord, KernelPanicRecord, PstoreRecord, CoredumpRecord or DevcdRecord. A null
// node or record, or an unknown type, calls nothing and gives a value-initialised result. The
// result type is what `visit` gives for a PanicRecord; the other calls convert to it.
template <typename Visitor>
auto visitPanicRecord(PanicType type, const PanicNode *node, Visitor &&visit)
    -> decltype(visit(std::declval<const PanicRecord &>()))
{
    using Result = decltype(visit(std::declval<const PanicRecord &>()));
    const void *data = node ? node->data : nullptr;
    if (!data) {
        return Result();
    }
    switch (type) {
    case PANIC_BP:
    case PANIC_QUIRN:
        return visit(*static_cast<const PanicRecord *>(data));
    case PANIC_AP:
        return visit(*static_cast<const ApDumpRecord *>(data));
    case PANIC_KERNEL:
        return visit(*static_cast<const KernelPanicRecord *>(data));
    case PANIC_PSTORE:
        return visit(*static_cast<const PstoreRecord *>(data));
    case PANIC_COREDUMP:
        return visit(*static_cast<const CoredumpRecord *>(data));
    case PANIC_DEVCD:
        return visit(*static_cast<const DevcdRecord *>(data));
    }
    return Result();
}

// A visitor made of lambdas, one per record type or a generic one for the rest:
// PanicVisitor{[](const KernelPanicRecord &) { return 0u; }, [](const auto &r) { ... }}.
template <typename... Lambdas> struct PanicVisitor : Lambdas... {
    using Lambdas::operator()...;
};
template <typename... Lambdas> PanicVisitor(Lambdas...) -> PanicVisitor<Lambdas...>;
