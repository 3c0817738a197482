#include "platform/services/servertarget_systemd.h"

#include "platform/net/hosttext.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <climits>
#include <string_view>

#include <unistd.h>

namespace {

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
    const std::optional<HostText::HostAndPort> host = HostText::SplitHostAndPort(rest);
    if ((at != std::string_view::npos && !HostText::IsUserName(parsed.User, 32)) || !host)
        return SourceFailure{"Broker Server Name/IP",
                             "Give a host name or IP address (IPv6 in brackets when a port follows), "
                             "optionally as user@host:port with a port from 1 to 65535."};
    parsed.Host = host->Host;
    parsed.Port = host->Port;
    parsed.Local = parsed.User.empty() && parsed.Port.empty() && NamesThisMachine(parsed.Host);
    target = std::move(parsed);
    return std::nullopt;
}
