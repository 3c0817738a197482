#pragma once

#include "mail/smtptexts.h"
#include "platform/events/combinedwait.h"
#include "platform/events/eventpump.h"
#include "platform/net/mailsocket.h"
#include "platform/time/clocks.h"
#include "platform/time/tickcounter.h"

#include <functional>
#include <optional>
#include <string>
#include <string_view>

// Why a mail was not delivered, or what went wrong after the relay took it, in the words the
// operator is to read.
struct MailFailure {
    enum class Kind {
        NotStarted, // nothing went out: the socket was busy, or a field would have added commands
        Dialogue,   // the relay or the connection failed a step of the dialogue
    };
    Kind What;
    std::string Words;
};

// What the dialogue needs of the platform besides its socket.
struct MailPlatform {
    Clocks &Clock;      // for the Date header
    TickCounter &Ticks; // for the reply limits
    CombinedWait &Wait; // sleeps between the relay's replies
    EventPump &Pump;    // keeps the window answering meanwhile
};

struct MailResult {
    bool Delivered = false; // the relay accepted the message
    std::string Acceptance; // the relay's reply to the message, once delivered
    // Why it was not delivered; none when it was, or when the program ended in the middle.
    std::optional<MailFailure> Failure;
};

// The notification mail: one SMTP dialogue per SendEmail over the window's socket, a
// reply wait per command, and the receive buffer the socket's data handler fills.
class NotificationMail {
public:
    using StatusCaptionSetter = std::function<void(const std::string &caption)>;

    // How long a reply may take, counted from the start of its wait.
    static constexpr float ReplyLimitSeconds = 15.0f;
    // RFC 5321 section 4.5.3.2.6: a relay may scan the message this long before it takes
    // it; giving up sooner would only have it sent again next cycle.
    static constexpr float EndMarkLimitSeconds = 600.0f;
    // A relay gets this long to say goodbye: it has the message or refused it, and its goodbye
    // changes neither.
    static constexpr float QuitLimitSeconds = 5.0f;

    NotificationMail(MailSocket &winsock1, MailPlatform platform, StatusCaptionSetter setStatusCaption);
    NotificationMail(const NotificationMail &) = delete;
    NotificationMail &operator=(const NotificationMail &) = delete;
    // The socket lives on: nothing it reports reaches a mail that has gone.
    ~NotificationMail();

    // The dialogue ends at its first failure.
    MailResult SendEmail(const std::string &MailServerName, const std::string &FromName,
                         const std::string &FromEmailAddress, const std::string &ToName,
                         const std::string &ToEmailAddress, const std::string &EmailSubject,
                         const std::string &EmailBodyOfMessage);
    // True when the next reply carries ResponseCode.
    bool WaitFor(const std::string &ResponseCode);
    void ReplyDataArrived(int32_t ByteCount);

private:
    enum class Awaited { ExpectedCode, OtherCode, NoReply, ProgramEnding };
    // How a wait ended: the reply that carried its code, or in words why none did.
    struct Reply {
        Awaited How;
        std::string Words;
    };

    MailResult RunDialogue(const MailMessage &message);
    Reply Converse(const SmtpTexts &texts);
    // `alike` is a second code that means the same as ResponseCode, if any.
    Reply AwaitReply(const std::string &ResponseCode, float limitSeconds, std::string_view alike = {});
    void TakeReceived();
    void Send(const std::string &text);
    void ShowStatus(const std::string &caption);
    bool PumpUntilInputOrLimit(float limitSeconds, float WaitElapsed);

    MailSocket &Winsock1;
    MailPlatform Platform;
    StatusCaptionSetter SetStatusCaption;

    // Received and not yet taken by a wait; each reply is taken by exactly one.
    std::string Response;
    // Why the connection could not be made or was lost, in the socket's words.
    std::optional<std::string> ConnectionFault;
    std::string RelayName;
    // Once the program is ending nobody waits for a reply any more: the dialogue sends
    // nothing further and only closes its connection.
    bool ProgramEnding = false;
};
