#include "mail/notificationmail.h"

#include "platform/os/machinename.h"

#include <cmath>

namespace {

// Closes the socket when the dialogue ends, however it ends.
class ConnectionCloser {
public:
    explicit ConnectionCloser(MailSocket &socket) : Socket(socket) {}
    ~ConnectionCloser() { Socket.CloseConnection(); }
    ConnectionCloser(const ConnectionCloser &) = delete;
    ConnectionCloser &operator=(const ConnectionCloser &) = delete;

private:
    MailSocket &Socket;
};

MailResult NotSent(const std::string &why)
{
    return {false, {}, MailFailure{MailFailure::Kind::NotStarted, why}};
}

} // namespace

NotificationMail::NotificationMail(MailSocket &winsock1, MailPlatform platform, StatusCaptionSetter setStatusCaption)
    : Winsock1(winsock1), Platform(std::move(platform)), SetStatusCaption(std::move(setStatusCaption))
{
    Winsock1.SetDataArrivalHandler([this](int32_t byteCount) { ReplyDataArrived(byteCount); });
    Winsock1.SetConnectionFaultHandler([this](const std::string &reason) { ConnectionFault = reason; });
    Winsock1.SetTlsReadyHandler([this](const TlsPeer &peer) { Tls = peer; });
}

NotificationMail::~NotificationMail()
{
    Winsock1.SetDataArrivalHandler({});
    Winsock1.SetConnectionFaultHandler({});
    Winsock1.SetTlsReadyHandler({});
}

MailResult NotificationMail::SendEmail(const std::string &MailServerName, const std::string &FromName,
                                       const std::string &FromEmailAddress, const std::string &ToName,
                                       const std::string &ToEmailAddress, const std::string &EmailSubject,
                                       const std::string &EmailBodyOfMessage)
{
    const MailMessage message{MailServerName, FromName, FromEmailAddress, ToName, ToEmailAddress, EmailSubject,
                              EmailBodyOfMessage};
    const int16_t state = Winsock1.ConnectionState();
    // The blank stands where the sign of a negative number would.
    if (state != 0)
        return NotSent(" " + std::to_string(state));
    // A line break would let a field add SMTP commands of its own.
    if (const auto field = FieldWithLineBreak(message))
        return NotSent("The mail was not sent: " + *field + " holds a line break, which no mail field may hold.");
    const std::optional<RelayAddress> relay = ParseRelayAddress(MailServerName);
    if (!relay)
        return NotSent(std::string("The mail was not sent: ") + RelayFieldRule);
    return RunDialogue(message, *relay);
}

MailResult NotificationMail::RunDialogue(const MailMessage &message, const RelayAddress &relay)
{
    const LocalDateTime now = Platform.Clock.LocalNow();
    const SmtpTexts texts = ComposeSmtpTexts(message, now, NewMessageId(now, MachineName()));
    Winsock1.SetProtocol(0);
    Winsock1.SetLocalPort(0);
    Winsock1.SetRemoteHost(relay.Host);
    Winsock1.SetRemotePort(relay.Port);
    RelayName = relay.Host;
    ForgetConnection();
    WithoutTls = false;

    ConnectionCloser closer(Winsock1);
    Reply outcome = Converse(texts, relay);
    // RFC 7435: on port 25 without a login TLS is opportunistic, and a relay whose TLS this
    // system cannot speak (an old protocol, a broken stack) takes the mail in plain text, as
    // mail servers fall back among themselves.
    if (TlsFailed && !relay.TlsRequired() && !ProgramEnding) {
        Winsock1.CloseConnection();
        ForgetConnection();
        WithoutTls = true;
        outcome = Converse(texts, relay);
    }
    // A relay that answers, whatever it answered, is in step and is told goodbye.
    if (outcome.How == Awaited::ExpectedCode || outcome.How == Awaited::OtherCode) {
        Send(texts.Quit);
        ShowStatus("Disconnecting");
        AwaitReply("221", QuitLimitSeconds);
    }
    if (outcome.Expected())
        return {true, outcome.Text, std::nullopt};
    if (outcome.How == Awaited::ProgramEnding)
        return {};
    return {false, {}, MailFailure{MailFailure::Kind::Dialogue, outcome.Failure}};
}

// Each command goes out only once the one before it has had its expected reply: after a
// refusal or silence the relay would read the rest of the message as commands.
NotificationMail::Reply NotificationMail::Converse(const SmtpTexts &texts, const RelayAddress &relay)
{
    Reply outcome = OpenSession(texts, relay);
    const auto replied = [&](const char *code, float limitSeconds = ReplyLimitSeconds, std::string_view alike = {}) {
        outcome = AwaitReply(code, limitSeconds, alike);
        return outcome.Expected();
    };
    if (!outcome.Expected())
        return outcome;
    ShowStatus("Connected");
    Send(texts.Sender);
    ShowStatus("Sending Message");
    if (!replied("250"))
        return outcome;
    Send(texts.Recipient);
    // RFC 5321 section 4.3.2: "251 User not local; will forward" takes the recipient too.
    if (!replied("250", ReplyLimitSeconds, "251"))
        return outcome;
    Send(texts.Data);
    if (!replied("354"))
        return outcome;
    Send(texts.HeaderBlock);
    Send(texts.BodyPiece);
    Send(texts.EndMark);
    replied("250", EndMarkLimitSeconds);
    return outcome;
}

// Nothing an earlier connection left behind speaks for the next one.
void NotificationMail::ForgetConnection()
{
    Response.clear();
    ConnectionFault.reset();
    Tls.reset();
    TlsFailed = false;
}

void NotificationMail::Send(const std::string &text)
{
    if (!ProgramEnding)
        Winsock1.SendText(text);
}

void NotificationMail::ShowStatus(const std::string &caption)
{
    if (!ProgramEnding)
        SetStatusCaption(caption);
}

bool NotificationMail::WaitFor(const std::string &ResponseCode)
{
    return AwaitReply(ResponseCode, ReplyLimitSeconds).How == Awaited::ExpectedCode;
}

NotificationMail::Reply NotificationMail::AwaitReply(const std::string &ResponseCode, float limitSeconds,
                                                     std::string_view alike)
{
    return AwaitUntil(limitSeconds, [&]() -> std::optional<Reply> {
        TakeReceived();
        const std::optional<SmtpReply> reply = TakeReply(Response);
        if (!reply)
            return std::nullopt;
        if (reply->Code == ResponseCode || (!alike.empty() && reply->Code == alike))
            return Reply{Awaited::ExpectedCode, reply->Code, reply->Text, {}};
        return Reply{Awaited::OtherCode, reply->Code, reply->Text,
                     "SMTP service error, impromper response code. Code should have been: " + ResponseCode +
                         " Code recieved: " + reply->Text};
    });
}

// Pumps until `arrived` finds what the wait is for, the connection fails, the limit passes or
// the program ends. What came counts even when the limit passed while it was read.
NotificationMail::Reply NotificationMail::AwaitUntil(float limitSeconds,
                                                    const std::function<std::optional<Reply>()> &arrived)
{
    if (ProgramEnding)
        return {Awaited::ProgramEnding, {}, {}, {}};
    // Elapsed time on the tick counter: the time of day jumps at midnight and whenever the
    // clock is set, and neither may end a wait early or stretch it.
    const uint32_t startTick = Platform.Ticks.GetTickCount();
    for (;;) {
        if (std::optional<Reply> reply = arrived())
            return *reply;
        if (ConnectionFault)
            return {Awaited::NoReply, {}, {}, "SMTP service error, no connection with " + RelayName + ": " + *ConnectionFault};
        const float WaitElapsed = (Platform.Ticks.GetTickCount() - startTick) / 1000.0f;
        if (WaitElapsed > limitSeconds)
            return {Awaited::NoReply, {}, {}, "SMTP service error, timed out while waiting for response"};
        if (!PumpUntilInputOrLimit(limitSeconds, WaitElapsed))
            return {Awaited::ProgramEnding, {}, {}, {}};
    }
}

void NotificationMail::ReplyDataArrived(int32_t)
{
    TakeReceived();
}

// A relay that sends without end is taken a reply's length at a time: the rest waits with the
// socket until a wait has taken what came before, so that neither the buffer nor one pump of
// the window's messages has to hold all it sends.
void NotificationMail::TakeReceived()
{
    if (Response.size() > LongestReply)
        return;
    std::string arrived;
    Winsock1.ReadReceived(arrived);
    Response += arrived;
}

// False once the event loop has gone because the program is ending.
bool NotificationMail::PumpUntilInputOrLimit(float limitSeconds, float WaitElapsed)
{
    // Sleep until something happens or until just past the limit, so that the next pass
    // sees the limit passed; never spin between passes.
    const float remaining = limitSeconds - WaitElapsed;
    const uint32_t sleepMs =
        remaining < 0.0f ? 0u : static_cast<uint32_t>(std::ceil(remaining * 1000.0f)) + 1u;
    if (Platform.Wait.WaitForInputOrHandles(0, nullptr, sleepMs) == WaitCode::Failed) {
        ProgramEnding = true;
        return false;
    }
    Platform.Pump.PumpMessages();
    return true;
}
