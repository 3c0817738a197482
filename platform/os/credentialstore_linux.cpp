#include "platform/os/credentialstore_linux.h"

#include <memory>

#include <libsecret/secret.h>

namespace {

// One attribute finds the password: the account it logs in to.
const SecretSchema *RelayLogin()
{
    static const SecretSchema schema{"org.tarvik.BrokerServiceCheck.RelayLogin",
                                     SECRET_SCHEMA_NONE,
                                     {{"account", SECRET_SCHEMA_ATTRIBUTE_STRING}, {nullptr, SECRET_SCHEMA_ATTRIBUTE_STRING}}};
    return &schema;
}

struct ErrorDeleter {
    void operator()(GError *error) const { g_error_free(error); }
};
using ErrorPtr = std::unique_ptr<GError, ErrorDeleter>;

// A password leaves memory cleared.
struct SecretDeleter {
    void operator()(gchar *password) const { secret_password_free(password); }
};
using SecretPtr = std::unique_ptr<gchar, SecretDeleter>;

} // namespace

std::optional<std::string> SecretServiceStore::Password(const std::string &account, std::string &failure)
{
    GError *raw = nullptr;
    const SecretPtr password(
        secret_password_lookup_sync(RelayLogin(), nullptr, &raw, "account", account.c_str(), nullptr));
    const ErrorPtr error(raw);
    if (error)
        failure = std::string("The Secret Service could not be read: ") + error->message;
    if (!password)
        return std::nullopt;
    return std::string(password.get());
}

std::optional<std::string> SecretServiceStore::StorePassword(const std::string &account, const std::string &password)
{
    GError *raw = nullptr;
    const std::string label = "Tarvik Broker ServiceCheck relay login " + account;
    secret_password_store_sync(RelayLogin(), SECRET_COLLECTION_DEFAULT, label.c_str(), password.c_str(), nullptr, &raw,
                               "account", account.c_str(), nullptr);
    const ErrorPtr error(raw);
    if (error)
        return std::string("The Secret Service could not store it: ") + error->message;
    return std::nullopt;
}
