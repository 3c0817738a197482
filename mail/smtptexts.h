#pragma once

#include "platform/time/clocks.h"

#include <optional>
#include <string>
#include <string_view>

// What SendEmail is asked to send, as the caller passed it.
struct MailMessage {
    std::string MailServerName;
    std::string FromName;
    std::string FromEmailAddress;
    std::string ToName;
    std::string ToEmailAddress;
    std::string EmailSubject;
    std::string EmailBodyOfMessage;
};

// Every text of one SMTP dialogue, each ending in CR LF, in the order they are sent.
struct SmtpTexts {
    std::string Ehlo;
    std::string Helo;
    std::string StartTls;
    std::string Sender;
    std::string Recipient;
    std::string Data;
    std::string HeaderBlock;
    std::string BodyPiece;
    std::string EndMark;
    std::string Quit;
};

// "Sun, 06 Dec 2026 21:34:18 -0600": the local time in English names, with its zone.
std::string MailDateValue(const LocalDateTime &now);

// RFC 5322 section 3.6.4: "<unique@machine>", unique by the time and 64 random bits.
std::string NewMessageId(const LocalDateTime &now, const std::string &machine);

SmtpTexts ComposeSmtpTexts(const MailMessage &message, const LocalDateTime &now, const std::string &messageId);

// RFC 4648 base64, as AUTH carries a login (RFC 4954).
std::string Base64(std::string_view bytes);

// The name of the first one-line field that holds a CR or LF, if any.
std::optional<std::string> FieldWithLineBreak(const MailMessage &message);

// The body with every line ended by CR LF and a leading period doubled.
std::string DotStuffed(const std::string &body);
