#pragma once

#include <cstdint>
#include <optional>
#include <string>

// Where the relay field sends the mail, and as whom.
struct RelayAddress {
    std::string User; // empty: the relay takes the mail without a login
    std::string Host; // an IPv6 address without its brackets
    uint16_t Port = 25;

    // RFC 8314: a submission port that speaks TLS from its first byte.
    bool TlsFromTheStart() const { return Port == 465; }
    // Port 25 is where mail servers meet, in TLS when both can; every other port is a
    // submission port, which takes mail only inside TLS, and a login always needs TLS.
    bool TlsRequired() const { return Port != 25 || !User.empty(); }
    // "user@host:port", as the credential store keeps its password.
    std::string Account() const;
};

// The relay field's rule, as a box tells it.
extern const char *const RelayFieldRule;

// "relay", "relay:port", "user@relay", "user@relay:port" or "[IPv6]:port"; nothing for any other
// text. The user may be a mail address: the relay is what follows its last "@".
std::optional<RelayAddress> ParseRelayAddress(const std::string &text);
