#pragma once

#include <algorithm>
#include <cctype>
#include <optional>
#include <string>
#include <string_view>

// What the server and relay fields may name: a host, a user and a port, and nothing beyond, so
// that no text an operator types reaches ssh or a socket as anything else.
namespace HostText {

inline bool IsAlnum(char c)
{
    return std::isalnum(static_cast<unsigned char>(c)) != 0;
}

inline bool IsHostName(std::string_view host)
{
    if (host == ".")
        return true;
    return !host.empty() && host.size() <= 253 && IsAlnum(host.front()) &&
           std::all_of(host.begin(), host.end(), [](char c) { return IsAlnum(c) || c == '-' || c == '.'; });
}

// At most `longest` characters, none a command line could take for an option or for more than
// a name: letters, digits, "-", "_", "." and those of `extra`.
inline bool IsUserName(std::string_view user, std::size_t longest, std::string_view extra = {})
{
    return !user.empty() && user.size() <= longest && user.front() != '-' &&
           std::all_of(user.begin(), user.end(), [extra](char c) {
               return IsAlnum(c) || c == '-' || c == '_' || c == '.' || extra.find(c) != std::string_view::npos;
           });
}

// Without its brackets.
inline bool IsIPv6Address(std::string_view host)
{
    return host.size() >= 2 && host.size() <= 45 && host.find(':') != std::string_view::npos &&
           std::all_of(host.begin(), host.end(), [](char c) {
               return std::isxdigit(static_cast<unsigned char>(c)) || c == ':' || c == '.';
           });
}

// 1 to 65535.
inline bool IsPort(std::string_view port)
{
    if (port.empty() || port.size() > 5 || !std::all_of(port.begin(), port.end(), [](char c) { return c >= '0' && c <= '9'; }))
        return false;
    const long value = std::stol(std::string(port));
    return value >= 1 && value <= 65535;
}

struct HostAndPort {
    std::string Host; // an IPv6 address without its brackets
    std::string Port; // empty when none is named
};

// "host", "host:port", "[IPv6]", "[IPv6]:port" or a bare IPv6 address.
inline std::optional<HostAndPort> SplitHostAndPort(std::string_view text)
{
    std::string_view host = text;
    std::string_view port;
    bool ipv6 = text.find(':') != std::string_view::npos;
    if (text.starts_with('[')) {
        const auto close = text.find(']');
        if (close == std::string_view::npos)
            return std::nullopt;
        host = text.substr(1, close - 1);
        port = text.substr(close + 1);
        ipv6 = true;
    } else if (std::count(text.begin(), text.end(), ':') == 1) {
        host = text.substr(0, text.find(':'));
        port = text.substr(text.find(':'));
        ipv6 = false;
    }
    if (!(ipv6 ? IsIPv6Address(host) : IsHostName(host)))
        return std::nullopt;
    if (!port.empty() && (!port.starts_with(':') || !IsPort(port.substr(1))))
        return std::nullopt;
    return HostAndPort{std::string(host), std::string(port.empty() ? port : port.substr(1))};
}

} // namespace HostText
