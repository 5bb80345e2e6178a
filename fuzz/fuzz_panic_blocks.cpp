// The BP block reader (the QUIRN one with KIVO_FUZZ_QUIRN) on a panic file of arbitrary bytes,
// in memory and then as the source's file under the root (opened as the screens open it), then
// the list rows and detail texts of every record it made, as the panic screens show them, and
// the record each row opens.
#include "KIVO_FuzzSupport.h"
#include "KIVO_PanicText.h"
#include "KIVO_Panic_Util.h"

#include <cstdlib>

namespace {

// The list the reader built must be what its count says: numbers count..1 from the head, the
// links consistent both ways, at most 36 data bytes meant.
void checkList(const PanicNode *head, uint8_t count)
{
    uint32_t expected = count;
    const PanicNode *previous = nullptr;
    for (const PanicNode *node = head; node; node = node->next) {
        const auto *record = static_cast<const PanicRecord *>(node->data);
        if (!record || node->prev != previous || record->panicNum != expected || expected == 0) {
            std::abort();
        }
        --expected;
        previous = node;
    }
    if (expected != 0) {
        std::abort();
    }
}

// Every row opens the record whose number it shows.
void checkRows(PanicType type, PanicNode *head, uint8_t count)
{
    PanicNode *from = head;
    for (PanicNode *node : panicRowNodes(type, head, count)) {
        PanicNode *found = findPanicNode(type, from, panicNumber(type, node));
        if (found != node) {
            std::abort();
        }
        from = found;
    }
}

void readAndCheck(PanicType type, FILE *file)
{
    PanicNode *head = nullptr;
    uint8_t count = 0;
    if (!file) {
        // The whole source as the screens read it, from the rooted file.
        (type == PANIC_QUIRN ? readQuirnPanics : readBpPanics)(&head, &count);
    } else if (type == PANIC_QUIRN) {
        readQuirnPanicBlocks(file, &head, &count);
    } else {
        readBpPanicBlocks(file, &head, &count);
    }
    checkList(head, count);
    checkRows(type, head, count);
    panicRowTexts(type, head, count);
    for (const PanicNode *node = head; node; node = node->next) {
        panicDetailText(type, node);
    }
    freePanicList(&head);
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    KIVO_Fuzz::setUpEnvironment();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    KIVO_Fuzz::MemoryFile input(data, size);
    if (!input.file) {
        return 0;
    }
#ifdef KIVO_FUZZ_QUIRN
    const PanicType type = PANIC_QUIRN;
#else
    const PanicType type = PANIC_BP;
#endif
    readAndCheck(type, input.file);
    KIVO_Fuzz::writeRootedFile(type == PANIC_QUIRN ? PANIC_QUIRN_FILE_A : PANIC_BP_FILE_1, data,
                               size);
    readAndCheck(type, nullptr);
    return 0;
}
