#pragma once

#include "mail/smtptexts.h"
#include "platform/mailsocket.h"
#include "platform/windowservices.h"

#include <functional>
#include <string>

// The notification mail: one SMTP dialogue per SendEmail over the window's socket, a
// reply wait per command, and the receive buffer the socket's data handler fills.
class NotificationMail {
public:
    using StatusCaptionSetter = std::function<void(const std::string &caption)>;

    // How long a reply may take, counted from the start of its wait.
    static constexpr float ReplyLimitSeconds = 15.0f;

    NotificationMail(MailSocket &winsock1, WindowServices services,
                     StatusCaptionSetter setStatusCaption);
    NotificationMail(const NotificationMail &) = delete;
    NotificationMail &operator=(const NotificationMail &) = delete;
    // The socket lives on: nothing it receives reaches a mail that has gone.
    ~NotificationMail() { Winsock1.SetDataArrivalHandler({}); }

    // True when the relay accepted the message. Failures reach the operator as message
    // boxes; the dialogue goes on after each of them.
    bool SendEmail(const std::string &MailServerName, const std::string &FromName,
                   const std::string &FromEmailAddress, const std::string &ToName,
                   const std::string &ToEmailAddress, const std::string &EmailSubject,
                   const std::string &EmailBodyOfMessage);
    void WaitFor(const std::string &ResponseCode);
    void ReplyDataArrived(int32_t ByteCount);

    // The reply still waiting to be matched: a failed wait leaves it for the next one.
    const std::string &PendingResponse() const { return Response; }

private:
    bool RunDialogue(const MailMessage &message);
    bool AwaitReply(const std::string &ResponseCode);
    void Send(const std::string &text);
    void ShowStatus(const std::string &caption);
    bool PumpUntilInputOrLimit();

    MailSocket &Winsock1;
    WindowServices Services;
    StatusCaptionSetter SetStatusCaption;

    std::string Response;
    float WaitStart = 0.0f; // time of day
    float WaitElapsed = 0.0f;
    // Once the program is ending nobody waits for a reply any more: the dialogue sends
    // nothing further and only closes its connection.
    bool ProgramEnding = false;
};
