#include "mail/notificationmail.h"

#include "mail/smtpreply.h"

#include <cmath>

namespace {

constexpr int32_t SmtpPort = 25;

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

} // namespace

NotificationMail::NotificationMail(MailSocket &winsock1, WindowServices services,
                                   StatusCaptionSetter setStatusCaption)
    : Winsock1(winsock1), Services(services), SetStatusCaption(std::move(setStatusCaption))
{
    Winsock1.SetDataArrivalHandler([this](int32_t byteCount) { ReplyDataArrived(byteCount); });
    Winsock1.SetConnectionFaultHandler([this](const std::string &reason) { ConnectionFault = reason; });
}

NotificationMail::~NotificationMail()
{
    Winsock1.SetDataArrivalHandler({});
    Winsock1.SetConnectionFaultHandler({});
}

bool NotificationMail::SendEmail(const std::string &MailServerName, const std::string &FromName,
                                 const std::string &FromEmailAddress, const std::string &ToName,
                                 const std::string &ToEmailAddress,
                                 const std::string &EmailSubject,
                                 const std::string &EmailBodyOfMessage)
{
    const bool delivered = Deliver({MailServerName, FromName, FromEmailAddress, ToName,
                                    ToEmailAddress, EmailSubject, EmailBodyOfMessage});
    InOutage = !delivered;
    return delivered;
}

bool NotificationMail::Deliver(const MailMessage &message)
{
    const int16_t state = Winsock1.ConnectionState();
    if (state != 0) {
        // The blank stands where the sign of a negative number would.
        ShowFailure(" " + std::to_string(state), MessageBoxStyle::OkOnly, std::nullopt);
        return false;
    }
    // A line break would let a field add SMTP commands of its own.
    if (const auto field = FieldWithLineBreak(message)) {
        ShowFailure("The mail was not sent: " + *field +
                        " holds a line break, which no mail field may hold.",
                    MessageBoxStyle::OkOnly, std::nullopt);
        return false;
    }
    return RunDialogue(message);
}

bool NotificationMail::RunDialogue(const MailMessage &message)
{
    const SmtpTexts texts = ComposeSmtpTexts(message, Services.Clock.LocalNow());
    Winsock1.SetProtocol(0);
    Winsock1.SetLocalPort(0);
    Winsock1.SetRemoteHost(message.MailServerName);
    Winsock1.SetRemotePort(SmtpPort);
    RelayName = message.MailServerName;
    // Nothing an earlier connection left behind speaks for this one.
    Response.clear();
    ConnectionFault.reset();

    ConnectionCloser closer(Winsock1);
    const Awaited outcome = Converse(texts);
    const bool accepted = outcome == Awaited::ExpectedCode;
    // A relay that answers, whatever it answered, is in step and is told goodbye.
    if (accepted || outcome == Awaited::OtherCode) {
        Send(texts.Quit);
        ShowStatus("Disconnecting");
        AwaitReply("221", accepted ? ReplyLimitSeconds : QuitLimitSeconds, accepted);
    }
    return accepted;
}

// Each command goes out only once the one before it has had its expected reply: after a
// refusal or silence the relay would read the rest of the message as commands.
NotificationMail::Awaited NotificationMail::Converse(const SmtpTexts &texts)
{
    Awaited outcome = Awaited::ExpectedCode;
    const auto replied = [&](const char *code, float limitSeconds = ReplyLimitSeconds) {
        outcome = AwaitReply(code, limitSeconds);
        return outcome == Awaited::ExpectedCode;
    };
    Winsock1.OpenConnection();
    if (!replied("220"))
        return outcome;
    ShowStatus("Connecting....");
    Send(texts.Helo);
    if (!replied("250"))
        return outcome;
    ShowStatus("Connected");
    Send(texts.Sender);
    ShowStatus("Sending Message");
    if (!replied("250"))
        return outcome;
    Send(texts.Recipient);
    if (!replied("250"))
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

void NotificationMail::ShowFailure(const std::string &text, int32_t style,
                                   const std::optional<std::string> &title)
{
    if (!InOutage)
        Services.Boxes.MessageBox(text, style, title);
}

void NotificationMail::WaitFor(const std::string &ResponseCode)
{
    AwaitReply(ResponseCode, ReplyLimitSeconds);
}

NotificationMail::Awaited NotificationMail::AwaitReply(const std::string &ResponseCode,
                                                       float limitSeconds, bool reportFailure)
{
    if (ProgramEnding)
        return Awaited::ProgramEnding;
    // Elapsed time on the tick counter: the time of day jumps at midnight and whenever the
    // clock is set, and neither may end a wait early or stretch it.
    const uint32_t startTick = Services.Ticks.GetTickCount();
    const auto fail = [&](const std::string &text, Awaited outcome) {
        if (reportFailure)
            ShowFailure(text, MessageBoxStyle::OkInformation, std::string());
        return outcome;
    };
    for (;;) {
        // A reply that came counts even when the limit passed while it was read.
        if (const std::optional<SmtpReply> reply = TakeReply(Response))
            return reply->Code == ResponseCode
                       ? Awaited::ExpectedCode
                       : fail("SMTP service error, impromper response code. Code should have been: " +
                                  ResponseCode + " Code recieved: " + reply->Text,
                              Awaited::OtherCode);
        if (ConnectionFault)
            return fail("SMTP service error, no connection with " + RelayName + ": " + *ConnectionFault,
                        Awaited::NoReply);
        const float WaitElapsed = (Services.Ticks.GetTickCount() - startTick) / 1000.0f;
        if (WaitElapsed > limitSeconds)
            return fail("SMTP service error, timed out while waiting for response", Awaited::NoReply);
        if (!PumpUntilInputOrLimit(limitSeconds, WaitElapsed))
            return Awaited::ProgramEnding;
    }
}

void NotificationMail::ReplyDataArrived(int32_t)
{
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
    if (Services.Wait.WaitForInputOrHandles(0, nullptr, sleepMs) == WaitCode::Failed) {
        ProgramEnding = true;
        return false;
    }
    Services.Pump.PumpMessages();
    return true;
}
