#include "platform/time/clocks_win32.h"

#include "platform/os/windows_win32.h"

namespace {

int64_t HundredNanosecondsOf(const SYSTEMTIME &time)
{
    FILETIME file{};
    SystemTimeToFileTime(&time, &file);
    return static_cast<int64_t>(file.dwHighDateTime) << 32 | file.dwLowDateTime;
}

} // namespace

// The local time and its offset both come from one reading of UTC, so that a change of
// daylight saving time between two readings cannot pair one with the other's offset.
LocalDateTime Win32Clocks::LocalNow()
{
    SYSTEMTIME utc{};
    GetSystemTime(&utc);
    SYSTEMTIME local = utc;
    SystemTimeToTzSpecificLocalTime(nullptr, &utc, &local);
    const int64_t offset = (HundredNanosecondsOf(local) - HundredNanosecondsOf(utc)) / 10'000'000;
    return {local.wYear, local.wMonth, local.wDay, local.wHour, local.wMinute, local.wSecond,
            static_cast<int>(offset / 60)};
}
