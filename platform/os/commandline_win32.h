#pragma once

#include <string>
#include <vector>

// The program's arguments, its own name left out, in UTF-8.
std::vector<std::string> CommandLineArguments();

// A program of the window subsystem has no console of its own: `text` goes to the standard
// output its parent gave it (the pipe of an engine, the file of cmd's redirection), else to
// the console of the command prompt it was started from.
void WriteStandardOutput(const std::string &text);
