#include "mail/smtpreply.h"

#include <string_view>

namespace {

// RFC 5321 section 4.5.3.1.5 allows 512 octets a line. A relay that sends this much without
// ending its reply is answered as if it had ended it, so that nothing it sends can make the
// buffer grow for as long as a wait lasts.
constexpr std::size_t LongestReply = 65536;

SmtpReply TakeFront(std::string &received, std::size_t length, std::string_view lastLine)
{
    SmtpReply reply{std::string(lastLine.substr(0, 3)), received.substr(0, length)};
    received.erase(0, length);
    return reply;
}

} // namespace

std::optional<SmtpReply> TakeReply(std::string &received)
{
    for (std::size_t start = 0, end; (end = received.find('\n', start)) != std::string::npos; start = end + 1) {
        std::string_view line(received.data() + start, end - start);
        if (line.ends_with('\r'))
            line.remove_suffix(1);
        if (line.size() < 4 || line[3] != '-')
            return TakeFront(received, end + 1, line);
    }
    if (received.size() > LongestReply)
        return TakeFront(received, received.size(), received);
    return std::nullopt;
}
