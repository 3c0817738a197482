#include "platform/os/widetext_win32.h"

#include "platform/os/windows_win32.h"

#include <climits>
#include <cstdio>
#include <memory>

namespace {

struct LocalDeleter {
    void operator()(wchar_t *memory) const { LocalFree(memory); }
};

} // namespace

std::wstring WideFromUtf8(const std::string &text)
{
    if (text.empty() || text.size() > INT_MAX)
        return {};
    const int length = static_cast<int>(text.size());
    std::wstring wide(MultiByteToWideChar(CP_UTF8, 0, text.data(), length, nullptr, 0), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, text.data(), length, wide.data(),
                        static_cast<int>(wide.size()));
    return wide;
}

std::string Utf8FromWide(const std::wstring &text)
{
    if (text.empty() || text.size() > INT_MAX)
        return {};
    const int length = static_cast<int>(text.size());
    std::string narrow(
        WideCharToMultiByte(CP_UTF8, 0, text.data(), length, nullptr, 0, nullptr, nullptr), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.data(), length, narrow.data(),
                        static_cast<int>(narrow.size()), nullptr, nullptr);
    return narrow;
}

std::string SystemText(unsigned long code)
{
    wchar_t *raw = nullptr;
    FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                   nullptr, code, 0, reinterpret_cast<wchar_t *>(&raw), 0, nullptr);
    const std::unique_ptr<wchar_t, LocalDeleter> owner(raw);
    std::string text = raw ? Utf8FromWide(raw) : std::string();
    text.erase(text.find_last_not_of(" \r\n") + 1);
    if (!text.empty())
        return text;
    // WMI's own codes (0x8004xxxx) have no text in the system's message table; Win32 and
    // Winsock codes are known by their decimal numbers.
    char number[32];
    std::snprintf(number, sizeof number, code > 0xFFFF ? "Error 0x%08lX" : "Error %lu", code);
    return number;
}
