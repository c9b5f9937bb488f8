#include "platform/linux/process_memory.h"

#include <malloc.h>

namespace platform::linux_edition {

void KeepFreedMemory()
{
    // The heap's top is handed back only beyond this. Setting it also stops the C library
    // from moving the threshold by itself, so that the walks' speed does not depend on
    // what the process freed before.
    constexpr int KeptBytes = 32 * 1024 * 1024;
    ::mallopt(M_TRIM_THRESHOLD, KeptBytes);
}

} // namespace platform::linux_edition
