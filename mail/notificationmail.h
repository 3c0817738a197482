#pragma once

#include "mail/smtptexts.h"
#include "platform/net/mailsocket.h"
#include "platform/ui/windowservices.h"

#include <functional>
#include <optional>
#include <string>

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
    // A relay that refused gets this long to end in good order; nobody waits for it.
    static constexpr float QuitLimitSeconds = 5.0f;

    NotificationMail(MailSocket &winsock1, WindowServices services,
                     StatusCaptionSetter setStatusCaption);
    NotificationMail(const NotificationMail &) = delete;
    NotificationMail &operator=(const NotificationMail &) = delete;
    // The socket lives on: nothing it reports reaches a mail that has gone.
    ~NotificationMail();

    // True when the relay accepted the message. The dialogue ends at its first failure,
    // which the operator sees in a message box: the first failed mail of an outage only,
    // since a box stops the monitoring until someone comes.
    bool SendEmail(const std::string &MailServerName, const std::string &FromName,
                   const std::string &FromEmailAddress, const std::string &ToName,
                   const std::string &ToEmailAddress, const std::string &EmailSubject,
                   const std::string &EmailBodyOfMessage);
    void WaitFor(const std::string &ResponseCode);
    void ReplyDataArrived(int32_t ByteCount);
    // Someone is at the window again: the next failed mail shows its message.
    void ReportNextFailure() { InOutage = false; }

private:
    enum class Awaited { ExpectedCode, OtherCode, NoReply, ProgramEnding };

    bool Deliver(const MailMessage &message);
    bool RunDialogue(const MailMessage &message);
    Awaited Converse(const SmtpTexts &texts);
    Awaited AwaitReply(const std::string &ResponseCode, float limitSeconds, bool reportFailure = true);
    void Send(const std::string &text);
    void ShowStatus(const std::string &caption);
    void ShowFailure(const std::string &text, int32_t style, const std::optional<std::string> &title);
    bool PumpUntilInputOrLimit(float limitSeconds, float WaitElapsed);

    MailSocket &Winsock1;
    WindowServices Services;
    StatusCaptionSetter SetStatusCaption;

    // Received and not yet taken by a wait; each reply is taken by exactly one.
    std::string Response;
    // Why the connection could not be made or was lost, in the socket's words.
    std::optional<std::string> ConnectionFault;
    std::string RelayName;
    bool InOutage = false;
    // Once the program is ending nobody waits for a reply any more: the dialogue sends
    // nothing further and only closes its connection.
    bool ProgramEnding = false;
};
