#pragma once

#include <optional>
#include <string>

// The system's own store of passwords: the Secret Service on Linux, the Credential Manager on
// Windows. Either may take its time (a keyring to unlock), so the window asks it off its thread.
class CredentialStore {
public:
    virtual ~CredentialStore() = default;
    // The password kept for `account` ("user@relay:port"). Nothing when none is kept; nothing and
    // why in `failure` when the store could not be read.
    virtual std::optional<std::string> Password(const std::string &account, std::string &failure) = 0;
    // Nothing on success, else why not.
    virtual std::optional<std::string> StorePassword(const std::string &account, const std::string &password) = 0;
};
