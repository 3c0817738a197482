#include "platform/os/secretinput.h"

#include <cstdio>
#include <iostream>

#include <termios.h>
#include <unistd.h>

std::optional<std::string> ReadSecretLine(const std::string &prompt)
{
    termios shown{};
    const bool terminal = isatty(STDIN_FILENO) && tcgetattr(STDIN_FILENO, &shown) == 0;
    if (terminal) {
        std::fputs(prompt.c_str(), stderr);
        termios hidden = shown;
        hidden.c_lflag &= ~tcflag_t(ECHO);
        tcsetattr(STDIN_FILENO, TCSAFLUSH, &hidden);
    }
    std::string line;
    const bool read = static_cast<bool>(std::getline(std::cin, line));
    if (terminal) {
        tcsetattr(STDIN_FILENO, TCSAFLUSH, &shown);
        std::fputs("\n", stderr);
    }
    if (!read)
        return std::nullopt;
    return line;
}
