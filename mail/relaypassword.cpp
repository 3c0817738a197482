#include "mail/relaypassword.h"

#include "mail/relayaddress.h"

namespace RelayPassword {

bool Asked(const std::vector<std::string> &arguments)
{
    return !arguments.empty() && arguments[0] == Option;
}

int Run(const std::vector<std::string> &arguments, CredentialStore &store,
        const std::function<std::optional<std::string>()> &readSecret, std::string &out)
{
    const std::optional<RelayAddress> relay = arguments.size() == 2 ? ParseRelayAddress(arguments[1]) : std::nullopt;
    if (!relay || relay->User.empty()) {
        out = std::string("Usage: tarvik-broker-servicecheck ") + Option +
              " USER@RELAY[:PORT]\nReads the password of USER at the relay from the standard input and keeps it in "
              "the system's credential store.\n";
        return 2;
    }
    const std::optional<std::string> password = readSecret();
    if (!password || password->empty()) {
        out = "No password was given; nothing was stored.\n";
        return 1;
    }
    if (const std::optional<std::string> failure = store.StorePassword(relay->Account(), *password)) {
        out = *failure + "\n";
        return 1;
    }
    out = "The password of " + relay->Account() + " is kept in the system's credential store.\n";
    return 0;
}

} // namespace RelayPassword
