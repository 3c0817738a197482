#include "mail/notificationmail.h"

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
}

bool NotificationMail::SendEmail(const std::string &MailServerName, const std::string &FromName,
                                 const std::string &FromEmailAddress, const std::string &ToName,
                                 const std::string &ToEmailAddress,
                                 const std::string &EmailSubject,
                                 const std::string &EmailBodyOfMessage)
{
    const int16_t state = Winsock1.ConnectionState();
    if (state != 0) {
        // The blank stands where the sign of a negative number would.
        Services.Boxes.MessageBox(" " + std::to_string(state), MessageBoxStyle::OkOnly,
                                  std::nullopt);
        return false;
    }
    const MailMessage message{MailServerName, FromName,     FromEmailAddress,  ToName,
                              ToEmailAddress, EmailSubject, EmailBodyOfMessage};
    // A line break would let a field add SMTP commands of its own.
    if (const auto field = FieldWithLineBreak(message)) {
        Services.Boxes.MessageBox("The mail was not sent: " + *field +
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

    ConnectionCloser closer(Winsock1);
    Winsock1.OpenConnection();
    WaitFor("220");
    ShowStatus("Connecting....");
    Send(texts.Helo);
    WaitFor("250");
    ShowStatus("Connected");
    Send(texts.Sender);
    ShowStatus("Sending Message");
    WaitFor("250");
    Send(texts.Recipient);
    WaitFor("250");
    Send(texts.Data);
    WaitFor("354");
    Send(texts.HeaderBlock);
    Send(texts.BodyPiece);
    Send(texts.EndMark);
    const bool accepted = AwaitReply("250");
    Send(texts.Quit);
    ShowStatus("Disconnecting");
    WaitFor("221");
    return accepted;
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

void NotificationMail::WaitFor(const std::string &ResponseCode)
{
    AwaitReply(ResponseCode);
}

// True when the expected code came.
bool NotificationMail::AwaitReply(const std::string &ResponseCode)
{
    if (ProgramEnding)
        return false;
    WaitStart = Services.Clock.SecondsSinceMidnight();
    // Elapsed time on the tick counter: the time of day jumps at midnight and whenever the
    // clock is set, and neither may end a wait early or stretch it.
    const uint32_t startTick = Services.Ticks.GetTickCount();
    const auto elapsed = [&] { return (Services.Ticks.GetTickCount() - startTick) / 1000.0f; };
    // Each pass reads the elapsed time and what has arrived before its pump, so data that
    // arrives in the pump of the pass that finds the limit passed stays for the next wait.
    while (Response.substr(0, 3) != ResponseCode) {
        WaitElapsed = elapsed();
        const bool replied = !Response.empty();
        if (!PumpUntilInputOrLimit())
            return false;
        if (WaitElapsed > ReplyLimitSeconds) {
            Services.Boxes.MessageBox(
                replied ? "SMTP service error, impromper response code. Code should have been: " +
                              ResponseCode + " Code recieved: " + Response
                        : "SMTP service error, timed out while waiting for response",
                MessageBoxStyle::OkInformation, std::string());
            return false;
        }
    }
    Response.clear();
    return true;
}

void NotificationMail::ReplyDataArrived(int32_t)
{
    Winsock1.ReadReceived(Response);
}

// False once the event loop has gone because the program is ending.
bool NotificationMail::PumpUntilInputOrLimit()
{
    // Sleep until something happens or until just past the limit, so that the next pass
    // sees the limit passed; never spin between passes.
    const float remaining = ReplyLimitSeconds - WaitElapsed;
    const uint32_t sleepMs =
        remaining < 0.0f ? 0u : static_cast<uint32_t>(std::ceil(remaining * 1000.0f)) + 1u;
    if (Services.Wait.WaitForInputOrHandles(0, nullptr, sleepMs) == WaitCode::Failed) {
        ProgramEnding = true;
        return false;
    }
    Services.Pump.PumpMessages();
    return true;
}
