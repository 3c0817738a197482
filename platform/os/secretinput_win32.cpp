#include "platform/os/secretinput.h"

#include "platform/os/handles_win32.h"
#include "platform/os/widetext_win32.h"

namespace {

// A console is read in UTF-16 with its echo off; a pipe or a file in its bytes.
std::optional<std::string> ReadLine(HANDLE input, bool console)
{
    std::string line;
    for (;;) {
        wchar_t wide[1] = {};
        char narrow = 0;
        DWORD read = 0;
        if (console ? !ReadConsoleW(input, wide, 1, &read, nullptr) : !ReadFile(input, &narrow, 1, &read, nullptr))
            return line.empty() ? std::nullopt : std::optional(line);
        if (read == 0)
            return line.empty() ? std::nullopt : std::optional(line);
        const std::string piece = console ? Utf8FromWide(std::wstring(wide, 1)) : std::string(1, narrow);
        if (piece == "\n")
            return line;
        if (piece != "\r")
            line += piece;
    }
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
