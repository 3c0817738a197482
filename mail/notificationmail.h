#pragma once

#include "mail/relayaddress.h"
#include "mail/smtpreply.h"
#include "mail/smtptexts.h"
#include "platform/events/combinedwait.h"
#include "platform/events/eventpump.h"
#include "platform/events/worker.h"
#include "platform/net/mailsocket.h"
#include "platform/os/credentialstore.h"
#include "platform/time/clocks.h"
#include "platform/time/tickcounter.h"

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

// Why a mail was not delivered, or what went wrong after the relay took it, in the words the
// operator is to read.
struct MailFailure {
    enum class Kind {
        NotStarted, // nothing went out: the socket was busy, or a field is unfit
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
    Worker &Background; // asks the credential store, which may take its time
    // Shared with a question the dialogue gave up on.
    std::shared_ptr<CredentialStore> Credentials;
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
    // How a wait ended: the reply that came, if one did, and in words why it was not the one
    // waited for. A relay that has answered is in step, whatever it answered.
    struct Reply {
        Awaited How = Awaited::ExpectedCode;
        std::string Code;
        std::string Text;
        std::string Failure;
        bool Expected() const { return How == Awaited::ExpectedCode; }
    };

    MailResult RunDialogue(const MailMessage &message, const RelayAddress &relay);
    Reply Converse(const SmtpTexts &texts, const RelayAddress &relay);
    Reply OpenSession(const SmtpTexts &texts, const RelayAddress &relay);
    Reply GoOverToTls(const SmtpTexts &texts, const RelayAddress &relay, EhloOffer &offer);
    Reply LogIn(const RelayAddress &relay, const EhloOffer &offer);
    std::optional<std::string> LookUpPassword(const RelayAddress &relay, std::string &failure);
    // `alike` is a second code that means the same as ResponseCode, if any.
    Reply AwaitReply(const std::string &ResponseCode, float limitSeconds = ReplyLimitSeconds,
                     std::string_view alike = {});
    Reply AwaitTls(const RelayAddress &relay);
    Reply AwaitUntil(float limitSeconds, const std::function<std::optional<Reply>()> &arrived);
    void TakeReceived();
    void ForgetConnection();
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
    // Since the TLS handshake ended, this connection.
    std::optional<TlsPeer> Tls;
    // The handshake was tried and did not end, this connection.
    bool TlsFailed = false;
    // The mail goes again in plain text, after TLS failed where it was only opportunistic.
    bool WithoutTls = false;
    std::string RelayName;
    // Once the program is ending nobody waits for a reply any more: the dialogue sends
    // nothing further and only closes its connection.
    bool ProgramEnding = false;
};
