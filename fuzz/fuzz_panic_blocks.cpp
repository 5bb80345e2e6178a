// The BP block reader (the QUIRN one with KIVO_FUZZ_QUIRN) on a panic file of arbitrary bytes,
// then the list rows and detail texts of every record it made, as the panic screens show them.
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
    PanicNode *head = nullptr;
    uint8_t count = 0;
    if (type == PANIC_QUIRN) {
        readQuirnPanicBlocks(input.file, &head, &count);
    } else {
        readBpPanicBlocks(input.file, &head, &count);
    }
    checkList(head, count);
    panicRowTexts(type, head, count);
    for (const PanicNode *node = head; node; node = node->next) {
        panicDetailText(type, node);
    }
    freePanicList(&head);
    return 0;
}
