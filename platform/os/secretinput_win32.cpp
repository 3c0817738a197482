#include "platform/os/secretinput.h"

#include "platform/os/handles_win32.h"
#include "platform/os/widetext_win32.h"

#include <type_traits>

namespace {

// A console is read in UTF-16 with its echo off, a pipe or a file in its bytes; a character
// beyond UTF-16's first plane comes in two units, and the line is turned into UTF-8 whole.
template <typename Unit>
std::optional<std::basic_string<Unit>> ReadUnits(HANDLE input)
{
    std::basic_string<Unit> line;
    for (;;) {
        Unit unit = 0;
        DWORD read = 0;
        BOOL ok = FALSE;
        if constexpr (std::is_same_v<Unit, wchar_t>)
            ok = ReadConsoleW(input, &unit, 1, &read, nullptr);
        else
            ok = ReadFile(input, &unit, 1, &read, nullptr);
        if (!ok || read == 0)
            return line.empty() ? std::nullopt : std::optional(line);
        if (unit == '\n')
            return line;
        if (unit != '\r')
            line += unit;
    }
}

std::optional<std::string> ReadLine(HANDLE input, bool console)
{
    if (!console)
        return ReadUnits<char>(input);
    const auto wide = ReadUnits<wchar_t>(input);
    return wide ? std::optional(Utf8FromWide(*wide)) : std::nullopt;
}

} // namespace

// A program of the window subsystem has no console of its own: it reads the input its parent
// gave it, else the console of the command prompt it was started from.
std::optional<std::string> ReadSecretLine(const std::string &prompt)
{
    HANDLE input = GetStdHandle(STD_INPUT_HANDLE);
    HandlePtr console;
    if ((!input || input == INVALID_HANDLE_VALUE) && AttachConsole(ATTACH_PARENT_PROCESS)) {
        console.reset(CreateFileW(L"CONIN$", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0,
                                  nullptr));
        input = console.get();
    }
    DWORD mode = 0;
    if (!input || input == INVALID_HANDLE_VALUE)
        return std::nullopt;
    if (!GetConsoleMode(input, &mode))
        return ReadLine(input, false);
    const std::wstring shown = WideFromUtf8(prompt);
    const HandlePtr screen(CreateFileW(L"CONOUT$", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_WRITE, nullptr,
                                       OPEN_EXISTING, 0, nullptr));
    DWORD written = 0;
    WriteConsoleW(screen.get(), shown.data(), static_cast<DWORD>(shown.size()), &written, nullptr);
    SetConsoleMode(input, mode & ~DWORD(ENABLE_ECHO_INPUT));
    std::optional<std::string> line = ReadLine(input, true);
    SetConsoleMode(input, mode);
    return line;
}
