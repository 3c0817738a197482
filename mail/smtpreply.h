#pragma once

#include <optional>
#include <string>

// One complete reply of a relay, as RFC 5321 section 4.2.1 defines it: any number of
// "Code-text" lines, then the last line, "Code text" or the code alone.
struct SmtpReply {
    std::string Code; // the first three characters of its last line; none for a reply too long
    std::string Text; // every line, line ends included
};

// Takes the first complete reply off the front of what has been received; nothing while its
// last line has yet to come.
std::optional<SmtpReply> TakeReply(std::string &received);
