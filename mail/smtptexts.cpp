#include "mail/smtptexts.h"

#include <algorithm>
#include <array>
#include <chrono>
#include <cstdio>
#include <cstdint>
#include <cstdlib>
#include <random>
#include <utility>

namespace {

constexpr const char *CrLf = "\r\n";
// A fixed client name: the dialogue never announces the machine's own.
constexpr const char *HeloDomain = "broker-monitor.localdomain";

std::string TwoDigits(int value)
{
    char digits[8];
    std::snprintf(digits, sizeof digits, "%02d", value);
    return digits;
}

// RFC 5322 section 3.3 allows only these names, whatever the operator's language.
constexpr std::array<const char *, 7> DayNames{"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
constexpr std::array<const char *, 12> MonthNames{"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                                  "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};

std::string DayNameOf(const LocalDateTime &now)
{
    using namespace std::chrono;
    const year_month_day date{year(now.Year), month(unsigned(now.Month)), day(unsigned(now.Day))};
    return DayNames.at(weekday(sys_days(date)).c_encoding());
}

// "+0100", "-0330": the zone's hours and minutes.
std::string ZoneOf(int utcOffsetMinutes)
{
    const int minutes = std::abs(utcOffsetMinutes);
    return (utcOffsetMinutes < 0 ? "-" : "+") + TwoDigits(minutes / 60) + TwoDigits(minutes % 60);
}

std::string Quoted(const std::string &displayName, const std::string &address)
{
    return "\"" + displayName + "\" <" + address + ">";
}

} // namespace

std::string MailDateValue(const LocalDateTime &now)
{
    return DayNameOf(now) + ", " + TwoDigits(now.Day) + " " + MonthNames.at(now.Month - 1) + " " +
           std::to_string(now.Year) + " " + TwoDigits(now.Hour) + ":" + TwoDigits(now.Minute) +
           ":" + TwoDigits(now.Second) + " " + ZoneOf(now.UtcOffsetMinutes);
}

std::string NewMessageId(const LocalDateTime &now, const std::string &machine)
{
    std::random_device random;
    const uint64_t unique = (uint64_t(random()) << 32) | random();
    char stamp[64];
    std::snprintf(stamp, sizeof stamp, "%04d%02d%02d%02d%02d%02d.%016llx", now.Year, now.Month, now.Day, now.Hour,
                  now.Minute, now.Second, static_cast<unsigned long long>(unique));
    return std::string("<") + stamp + "@" + machine + ">";
}

SmtpTexts ComposeSmtpTexts(const MailMessage &message, const LocalDateTime &now, const std::string &messageId)
{
    SmtpTexts texts;
    // RFC 5321 section 4.1.1.1: a client that speaks the extensions greets with EHLO.
    texts.Ehlo = std::string("EHLO ") + HeloDomain + CrLf;
    texts.Helo = std::string("HELO ") + HeloDomain + CrLf;
    texts.StartTls = std::string("STARTTLS") + CrLf;
    // RFC 5321 section 4.1.2: the path goes in angle brackets; relays refuse it bare.
    texts.Sender = "mail from:<" + message.FromEmailAddress + ">" + CrLf;
    texts.Recipient = "rcpt to:<" + message.ToEmailAddress + ">" + CrLf;
    texts.Data = std::string("data") + CrLf;
    // RFC 5322 section 3.6.3: a To header is an address, so the mailbox goes with the name.
    texts.HeaderBlock = "From: " + Quoted(message.FromName, message.FromEmailAddress) + CrLf +
                        "Date: " + MailDateValue(now) + CrLf + "X-Mailer: STMP Sender" + CrLf +
                        "To: " + Quoted(message.ToName, message.ToEmailAddress) + CrLf +
                        "Subject: " + message.EmailSubject + CrLf + "Message-ID: " + messageId + CrLf + CrLf;
    texts.BodyPiece = DotStuffed(message.EmailBodyOfMessage) + CrLf + CrLf;
    texts.EndMark = std::string(".") + CrLf;
    texts.Quit = std::string("quit") + CrLf;
    return texts;
}

std::string Base64(std::string_view bytes)
{
    static constexpr char Alphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string encoded;
    for (std::size_t i = 0; i < bytes.size(); i += 3) {
        const std::size_t left = bytes.size() - i;
        uint32_t group = uint32_t(uint8_t(bytes[i])) << 16;
        group |= left > 1 ? uint32_t(uint8_t(bytes[i + 1])) << 8 : 0;
        group |= left > 2 ? uint32_t(uint8_t(bytes[i + 2])) : 0;
        for (int sextet = 0; sextet < 4; ++sextet)
            encoded += sextet <= int(std::min<std::size_t>(left, 3)) ? Alphabet[(group >> (18 - 6 * sextet)) & 63] : '=';
    }
    return encoded;
}

std::optional<std::string> FieldWithLineBreak(const MailMessage &message)
{
    const std::array<std::pair<const char *, const std::string *>, 6> fields{{
        {"MailServerName", &message.MailServerName},
        {"FromName", &message.FromName},
        {"FromEmailAddress", &message.FromEmailAddress},
        {"ToName", &message.ToName},
        {"ToEmailAddress", &message.ToEmailAddress},
        {"EmailSubject", &message.EmailSubject},
    }};
    for (const auto &[name, text] : fields)
        if (text->find_first_of("\r\n") != std::string::npos)
            return name;
    return std::nullopt;
}

std::string DotStuffed(const std::string &body)
{
    // A bare CR or LF would let a lenient relay see an end of data that this
    // side never sent (RFC 5321 section 2.3.8), so every line ends in CR LF.
    std::string out;
    out.reserve(body.size() + 16);
    bool atLineStart = true;
    for (std::size_t i = 0; i < body.size(); ++i) {
        const char c = body[i];
        if (c == '\r' || c == '\n') {
            if (c == '\r' && i + 1 < body.size() && body[i + 1] == '\n')
                ++i;
            out += CrLf;
            atLineStart = true;
            continue;
        }
        // RFC 5321 section 4.5.2: a line with a single dot would end the message.
        if (atLineStart && c == '.')
            out += '.';
        out += c;
        atLineStart = false;
    }
    return out;
}
