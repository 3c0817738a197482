#pragma once

#include "platform/os/credentialstore.h"

// The Credential Manager's generic credentials of the user, each named
// "tarvik-broker-servicecheck:ACCOUNT", as `cmdkey /generic:NAME /user:USER /pass` stores one.
class CredentialManagerStore final : public CredentialStore {
public:
    std::optional<std::string> Password(const std::string &account, std::string &failure) override;
    std::optional<std::string> StorePassword(const std::string &account, const std::string &password) override;
};
