#include "platform/time/tickcounter_linux.h"

#include <time.h>

uint32_t LinuxTickCounter::GetTickCount()
{
    timespec now{};
    // CLOCK_BOOTTIME counts through suspend, as a tick counter since the system started must; it
    // cannot fail with a valid pointer, so there is nothing to report.
    clock_gettime(CLOCK_BOOTTIME, &now);
    const auto milliseconds = static_cast<uint64_t>(now.tv_sec) * 1000u
                              + static_cast<uint64_t>(now.tv_nsec) / 1000000u;
    // Keeping the low 32 bits gives the same wrap-around as a 32-bit tick counter.
    return static_cast<uint32_t>(milliseconds);
}
