#pragma once

#include <optional>
#include <string>

#include "platform/services/servicesource.h"

// Where the operator's server text points: this machine's own manager, or one reached over
// SSH as "[user@]host[:port]".
struct ServerTarget {
    bool Local = false;
    std::string User; // empty: ssh's own choice
    std::string Host; // IPv6 addresses without brackets
    std::string Port; // empty: ssh's own choice
};

// The text ends up on an ssh command line, so anything beyond host-name syntax is refused
// here rather than left to ssh's own parsing. `target` is written only on success.
std::optional<SourceFailure> ParseServerTarget(const std::string &text, ServerTarget &target);
