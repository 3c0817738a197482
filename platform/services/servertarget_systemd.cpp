#include "platform/services/servertarget_systemd.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <climits>
#include <string_view>

#include <unistd.h>

namespace {

bool IsAlnum(char c)
{
    return std::isalnum(static_cast<unsigned char>(c)) != 0;
}

bool IsHostName(std::string_view host)
{
    if (host == ".")
        return true;
    return !host.empty() && host.size() <= 253 && IsAlnum(host.front())
        && std::all_of(host.begin(), host.end(), [](char c) { return IsAlnum(c) || c == '-' || c == '.'; });
}

bool IsIPv6Address(std::string_view host)
{
    return host.size() >= 2 && host.size() <= 45 && host.find(':') != std::string_view::npos
        && std::all_of(host.begin(), host.end(), [](char c) {
               return std::isxdigit(static_cast<unsigned char>(c)) || c == ':' || c == '.';
           });
}

bool IsUserName(std::string_view user)
{
    return !user.empty() && user.size() <= 32 && user.front() != '-'
        && std::all_of(user.begin(), user.end(), [](char c) { return IsAlnum(c) || c == '-' || c == '_' || c == '.'; });
}

bool IsPort(std::string_view port)
{
    if (port.empty() || port.size() > 5
        || !std::all_of(port.begin(), port.end(), [](char c) { return c >= '0' && c <= '9'; }))
        return false;
    const long value = std::stol(std::string(port));
    return value >= 1 && value <= 65535;
}

std::string Lowered(std::string_view text)
{
    std::string lowered(text);
    std::transform(lowered.begin(), lowered.end(), lowered.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return lowered;
}

bool NamesThisMachine(std::string_view host)
{
    const std::string lowered = Lowered(host);
    if (lowered == "localhost" || lowered == "127.0.0.1" || lowered == "::1" || lowered == ".")
        return true;
    std::array<char, HOST_NAME_MAX + 1> own{};
    return gethostname(own.data(), own.size() - 1) == 0 && lowered == Lowered(own.data());
}

// Splits "host", "[v6]" or a bare IPv6 address from the optional ":port" after it.
bool SplitHostAndPort(std::string_view rest, ServerTarget &target)
{
    std::string_view host = rest;
    std::string_view port;
    bool ipv6 = rest.find(':') != std::string_view::npos;
    if (rest.starts_with('[')) {
        const auto close = rest.find(']');
        if (close == std::string_view::npos)
            return false;
        host = rest.substr(1, close - 1);
        port = rest.substr(close + 1);
        ipv6 = true;
    } else if (std::count(rest.begin(), rest.end(), ':') == 1) {
        host = rest.substr(0, rest.find(':'));
        port = rest.substr(rest.find(':'));
        ipv6 = false;
    }
    if (!(ipv6 ? IsIPv6Address(host) : IsHostName(host)))
        return false;
    if (!port.empty() && (!port.starts_with(':') || !IsPort(port.substr(1))))
        return false;
    target.Host = host;
    target.Port = port.empty() ? std::string_view{} : port.substr(1);
    return true;
}

} // namespace

std::optional<SourceFailure> ParseServerTarget(const std::string &text, ServerTarget &target)
{
    ServerTarget parsed;
    std::string_view rest = text;
    const auto at = rest.find('@');
    if (at != std::string_view::npos) {
        parsed.User = rest.substr(0, at);
        rest = rest.substr(at + 1);
    }
    if ((at != std::string_view::npos && !IsUserName(parsed.User)) || !SplitHostAndPort(rest, parsed))
        return SourceFailure{"Broker Server Name/IP",
                             "Give a host name or IP address (IPv6 in brackets when a port follows), "
                             "optionally as user@host:port with a port from 1 to 65535."};
    parsed.Local = parsed.User.empty() && parsed.Port.empty() && NamesThisMachine(parsed.Host);
    target = std::move(parsed);
    return std::nullopt;
}
