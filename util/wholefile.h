#pragma once

#include <optional>
#include <string>

// Writes `text` to the file at `path` (UTF-8) through a file beside it, renamed over it at
// the end, so that a reader sees the old text or the new, never part of one. What went wrong,
// if anything; the file is then as it was.
std::optional<std::string> WriteWholeFile(const std::string &path, const std::string &text);
