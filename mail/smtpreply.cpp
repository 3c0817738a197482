#include "mail/smtpreply.h"

#include <algorithm>
#include <cctype>
#include <sstream>
#include <string_view>

namespace {

SmtpReply TakeFront(std::string &received, std::size_t length, std::string code)
{
    SmtpReply reply{std::move(code), received.substr(0, length)};
    received.erase(0, length);
    return reply;
}

} // namespace

EhloOffer OfferOf(const std::string &replyText)
{
    EhloOffer offer;
    std::istringstream lines(replyText);
    std::string line;
    for (std::getline(lines, line); std::getline(lines, line);) {
        std::transform(line.begin(), line.end(), line.begin(), [](unsigned char c) { return char(std::toupper(c)); });
        // "AUTH=PLAIN LOGIN" is how older relays put it.
        std::replace(line.begin(), line.end(), '=', ' ');
        std::istringstream words(line.size() > 4 ? line.substr(4) : std::string());
        std::string keyword, mechanism;
        words >> keyword;
        offer.StartTls = offer.StartTls || keyword == "STARTTLS";
        while (keyword == "AUTH" && words >> mechanism) {
            offer.AuthPlain = offer.AuthPlain || mechanism == "PLAIN";
            offer.AuthLogin = offer.AuthLogin || mechanism == "LOGIN";
        }
    }
    return offer;
}

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
