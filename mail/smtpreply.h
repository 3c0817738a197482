#pragma once

#include <optional>
#include <string>

// One complete reply of a relay, as RFC 5321 section 4.2.1 defines it: any number of
// "Code-text" lines, then the last line, "Code text" or the code alone.
struct SmtpReply {
    std::string Code; // the first three characters of its last line; none for a reply too long
    std::string Text; // every line, line ends included
};

// RFC 5321 section 4.5.3.1.5 allows 512 octets a line. A relay that sends this much without
// ending its reply, in one line or in many, has sent no reply a wait could take: it is taken as
// one without a code, so that nothing it sends can make the buffer grow for as long as a wait
// lasts, nor pass for the code it began with.
constexpr std::size_t LongestReply = 65536;

// What a relay's reply to EHLO offers of the extensions the mail uses: after its first line,
// each line names one (RFC 5321 section 4.1.1.1), AUTH with its mechanisms (RFC 4954).
struct EhloOffer {
    bool StartTls = false;
    bool AuthPlain = false;
    bool AuthLogin = false;
};

EhloOffer OfferOf(const std::string &replyText);

// Takes the first complete reply off the front of what has been received; nothing while its
// last line has yet to come.
std::optional<SmtpReply> TakeReply(std::string &received);
