#include "platform/os/commandline_win32.h"

#include "platform/os/widetext_win32.h"
#include "platform/os/windows_win32.h"

#include <shellapi.h>

#include <memory>

std::vector<std::string> CommandLineArguments()
{
    int count = 0;
    const std::unique_ptr<wchar_t *, decltype(&LocalFree)> words(CommandLineToArgvW(GetCommandLineW(), &count),
                                                                 LocalFree);
    std::vector<std::string> arguments;
    for (int i = 1; words && i < count; ++i)
        arguments.push_back(Utf8FromWide(words.get()[i]));
    return arguments;
}

void WriteStandardOutput(const std::string &text)
{
    HANDLE output = GetStdHandle(STD_OUTPUT_HANDLE);
    if ((!output || output == INVALID_HANDLE_VALUE) && AttachConsole(ATTACH_PARENT_PROCESS))
        output = GetStdHandle(STD_OUTPUT_HANDLE);
    DWORD written = 0, mode = 0;
    if (!output || output == INVALID_HANDLE_VALUE)
        return;
    // A console takes UTF-16; a pipe or a file the bytes as they are.
    if (GetConsoleMode(output, &mode)) {
        const std::wstring wide = WideFromUtf8(text);
        WriteConsoleW(output, wide.data(), static_cast<DWORD>(wide.size()), &written, nullptr);
    } else {
        WriteFile(output, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
    }
}
