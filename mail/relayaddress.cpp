#include "mail/relayaddress.h"

#include "platform/net/hosttext.h"

const char *const RelayFieldRule =
    "SMTP Server Name/IP takes the relay's host name or IP address (IPv6 in brackets when a port follows), "
    "optionally as user@relay:port with a port from 1 to 65535.";

std::string RelayAddress::Account() const
{
    const bool ipv6 = Host.find(':') != std::string::npos;
    return User + "@" + (ipv6 ? "[" + Host + "]" : Host) + ":" + std::to_string(Port);
}

std::optional<RelayAddress> ParseRelayAddress(const std::string &text)
{
    RelayAddress relay;
    std::string_view rest = text;
    if (const auto at = rest.rfind('@'); at != std::string_view::npos) {
        relay.User = rest.substr(0, at);
        rest = rest.substr(at + 1);
        // A login name or a mail address.
        if (!HostText::IsUserName(relay.User, 254, "@+"))
            return std::nullopt;
    }
    const std::optional<HostText::HostAndPort> host = HostText::SplitHostAndPort(rest);
    if (!host)
        return std::nullopt;
    relay.Host = host->Host;
    if (!host->Port.empty())
        relay.Port = static_cast<uint16_t>(std::stoi(host->Port));
    return relay;
}
