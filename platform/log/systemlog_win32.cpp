#include "platform/log/systemlog_win32.h"

#include "platform/os/widetext_win32.h"

namespace {

WORD TypeOf(LogEntry::Level level)
{
    switch (level) {
    case LogEntry::Level::Error:
        return EVENTLOG_ERROR_TYPE;
    case LogEntry::Level::Warning:
        return EVENTLOG_WARNING_TYPE;
    case LogEntry::Level::Information:
        break;
    }
    return EVENTLOG_INFORMATION_TYPE;
}

struct KeyDeleter {
    void operator()(HKEY key) const { RegCloseKey(key); }
};
using KeyPtr = std::unique_ptr<std::remove_pointer_t<HKEY>, KeyDeleter>;

std::wstring ProgramPath()
{
    std::wstring path(MAX_PATH, L'\0');
    DWORD length = 0;
    while ((length = GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()))) == path.size())
        path.resize(path.size() * 2);
    path.resize(length);
    return path;
}

} // namespace

WindowsEventLog::WindowsEventLog(const std::string &source)
    : Source(RegisterEventSourceW(nullptr, WideFromUtf8(source).c_str())), SourceName(WideFromUtf8(source))
{
}

void WindowsEventLog::Write(const LogEntry &entry)
{
    std::vector<std::wstring> strings{WideFromUtf8(entry.Message)};
    for (const auto &field : entry.Fields)
        strings.push_back(WideFromUtf8(field.second));
    std::vector<const wchar_t *> texts;
    for (const std::wstring &text : strings)
        texts.push_back(text.c_str());
    if (!Source || !ReportEventW(Source.get(), TypeOf(entry.Severity), 0, entry.EventId, nullptr,
                                 static_cast<WORD>(texts.size()), 0, texts.data(), nullptr))
        OutputDebugStringW((SourceName + L": " + strings.front() + L"\n").c_str());
}

std::optional<std::string> RegisterEventSourceKey(const std::string &source)
{
    const std::wstring path = L"SYSTEM\\CurrentControlSet\\Services\\EventLog\\Application\\" + WideFromUtf8(source);
    HKEY raw = nullptr;
    LSTATUS status = RegCreateKeyExW(HKEY_LOCAL_MACHINE, path.c_str(), 0, nullptr, 0, KEY_SET_VALUE, nullptr, &raw,
                                     nullptr);
    const KeyPtr key(raw);
    const std::wstring program = ProgramPath();
    const DWORD types = EVENTLOG_ERROR_TYPE | EVENTLOG_WARNING_TYPE | EVENTLOG_INFORMATION_TYPE;
    if (status == ERROR_SUCCESS)
        status = RegSetValueExW(key.get(), L"EventMessageFile", 0, REG_EXPAND_SZ,
                                reinterpret_cast<const BYTE *>(program.c_str()),
                                static_cast<DWORD>((program.size() + 1) * sizeof(wchar_t)));
    if (status == ERROR_SUCCESS)
        status = RegSetValueExW(key.get(), L"TypesSupported", 0, REG_DWORD, reinterpret_cast<const BYTE *>(&types),
                                sizeof types);
    if (status != ERROR_SUCCESS)
        return SystemText(static_cast<unsigned long>(status));
    return std::nullopt;
}
