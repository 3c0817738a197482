#pragma once

#include "platform/os/credentialstore.h"

#include <functional>
#include <optional>
#include <string>
#include <vector>

// `--set-relay-password USER@RELAY[:PORT]`: keeps the password of the relay's login in the
// system's credential store, where the mail finds it. The password comes from the standard
// input, never from the command line, which others may read.
namespace RelayPassword {

constexpr const char *Option = "--set-relay-password";

// True when the command line, its program name left out, asks for it.
bool Asked(const std::vector<std::string> &arguments);

// Stores the password that `readSecret` gives; what it has to say goes to `out`. Exit 0 when
// it was stored, 1 when not, 2 for a command line that names no login.
int Run(const std::vector<std::string> &arguments, CredentialStore &store,
        const std::function<std::optional<std::string>()> &readSecret, std::string &out);

} // namespace RelayPassword
