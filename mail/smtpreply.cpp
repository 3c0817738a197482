#include "mail/smtpreply.h"

#include <string_view>

namespace {

SmtpReply TakeFront(std::string &received, std::size_t length, std::string code)
{
    SmtpReply reply{std::move(code), received.substr(0, length)};
    received.erase(0, length);
    return reply;
}

} // namespace

std::optional<SmtpReply> TakeReply(std::string &received)
{
    for (std::size_t start = 0, end; (end = received.find('\n', start)) != std::string::npos && end < LongestReply;
         start = end + 1) {
        std::string_view line(received.data() + start, end - start);
        if (line.ends_with('\r'))
            line.remove_suffix(1);
        if (line.size() < 4 || line[3] != '-')
            return TakeFront(received, end + 1, std::string(line.substr(0, 3)));
    }
    if (received.size() > LongestReply)
        return TakeFront(received, received.size(), {});
    return std::nullopt;
}
