#include "mail/smtpreply.h"

#include <string_view>

namespace {

// RFC 5321 section 4.5.3.1.5 allows 512 octets a line. A relay that sends this much without
// ending its reply, in one line or in many, has sent no reply a wait could take: it is taken as
// one without a code, so that nothing it sends can make the buffer grow for as long as a wait
// lasts, nor pass for the code it began with.
constexpr std::size_t LongestReply = 65536;

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
