#pragma once

#include <optional>
#include <string>

// One line read from the standard input, a password: at a terminal after `prompt`, without
// echo. Nothing when none could be read.
std::optional<std::string> ReadSecretLine(const std::string &prompt);
