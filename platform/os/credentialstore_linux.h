#pragma once

#include "platform/os/credentialstore.h"

// The Secret Service of the session's bus (GNOME Keyring, KWallet), through libsecret.
class SecretServiceStore final : public CredentialStore {
public:
    std::optional<std::string> Password(const std::string &account, std::string &failure) override;
    std::optional<std::string> StorePassword(const std::string &account, const std::string &password) override;
};
