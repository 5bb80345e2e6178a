// The kernel panic report parser on a report of arbitrary bytes (what "cat" would print), and
// the detail text of the record a valid time makes.
#include "KIVO_FuzzSupport.h"
#include "KIVO_PanicText.h"
#include "KIVO_Panic_Util.h"

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
    const time_t panicTime = readKernelPanicTime(input.file);
    if (panicTime != -1) {
        KernelPanicRecord record = {panicTime, PANIC_ID_KERNEL};
        panicDetailText(record);
    }
    return 0;
}
