#include "platform/clocks_win32.h"

#include "platform/widetext_win32.h"
#include "platform/windows_win32.h"

namespace {

std::string LocalName(const SYSTEMTIME &time, const wchar_t *picture)
{
    wchar_t name[80] = {};
    if (GetDateFormatEx(LOCALE_NAME_USER_DEFAULT, 0, &time, picture, name, ARRAYSIZE(name),
                        nullptr) == 0)
        return {};
    return Utf8FromWide(name);
}

} // namespace

float Win32Clocks::SecondsSinceMidnight()
{
    SYSTEMTIME now{};
    GetLocalTime(&now);
    const int milliseconds =
        ((now.wHour * 60 + now.wMinute) * 60 + now.wSecond) * 1000 + now.wMilliseconds;
    return static_cast<float>(milliseconds / 1000.0);
}

LocalDateTime Win32Clocks::LocalNow()
{
    SYSTEMTIME now{};
    GetLocalTime(&now);
    return {now.wYear,
            now.wMonth,
            now.wDay,
            now.wHour,
            now.wMinute,
            now.wSecond,
            LocalName(now, L"ddd"),
            LocalName(now, L"MMM")};
}
