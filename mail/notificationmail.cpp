#include "mail/notificationmail.h"

#include <cmath>

namespace {

constexpr int32_t SmtpPort = 25;
constexpr double SecondsPerDay = 86400.0;

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

void NotificationMail::SendEmail(const std::string &MailServerName, const std::string &FromName,
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
        return;
    }
    const MailMessage message{MailServerName, FromName,     FromEmailAddress,  ToName,
                              ToEmailAddress, EmailSubject, EmailBodyOfMessage};
    // A line break would let a field add SMTP commands of its own.
    if (const auto field = FieldWithLineBreak(message)) {
        Services.Boxes.MessageBox("The mail was not sent: " + *field +
                                      " holds a line break, which no mail field may hold.",
                                  MessageBoxStyle::OkOnly, std::nullopt);
        return;
    }
    RunDialogue(message);
}

void NotificationMail::RunDialogue(const MailMessage &message)
{
    const SmtpTexts texts = ComposeSmtpTexts(message, Services.Clock.LocalNow());
    Winsock1.SetProtocol(0);
    Winsock1.SetLocalPort(0);
    Winsock1.SetRemoteHost(message.MailServerName);
    Winsock1.SetRemotePort(SmtpPort);

    ConnectionCloser closer(Winsock1);
    Winsock1.OpenConnection();
    WaitFor("220");
    SetStatusCaption("Connecting....");
    Winsock1.SendText(texts.Helo);
    WaitFor("250");
    SetStatusCaption("Connected");
    Winsock1.SendText(texts.Sender);
    SetStatusCaption("Sending Message");
    WaitFor("250");
    Winsock1.SendText(texts.Recipient);
    WaitFor("250");
    Winsock1.SendText(texts.Data);
    WaitFor("354");
    Winsock1.SendText(texts.HeaderBlock);
    Winsock1.SendText(texts.BodyPiece);
    Winsock1.SendText(texts.EndMark);
    WaitFor("250");
    Winsock1.SendText(texts.Quit);
    SetStatusCaption("Disconnecting");
    WaitFor("221");
}

void NotificationMail::WaitFor(const std::string &ResponseCode)
{
    WaitStart = Services.Clock.SecondsSinceMidnight();
    // Each pass reads the elapsed time before its pump, so data that arrives in the
    // pump of the pass that finds the limit passed stays for the next wait.
    while (Response.empty()) {
        WaitElapsed = SecondsSinceWaitStart();
        if (!PumpUntilInputOrLimit())
            return;
        if (WaitElapsed > ReplyLimitSeconds) {
            Services.Boxes.MessageBox("SMTP service error, timed out while waiting for response",
                                      MessageBoxStyle::OkInformation, std::string());
            return;
        }
    }
    while (Response.substr(0, 3) != ResponseCode) {
        WaitElapsed = SecondsSinceWaitStart();
        if (!PumpUntilInputOrLimit())
            return;
        if (WaitElapsed > ReplyLimitSeconds) {
            Services.Boxes.MessageBox(
                "SMTP service error, impromper response code. Code should have been: " +
                    ResponseCode + " Code recieved: " + Response,
                MessageBoxStyle::OkInformation, std::string());
            return;
        }
    }
    Response.clear();
}

void NotificationMail::ReplyDataArrived(int32_t)
{
    Winsock1.ReadReceived(Response);
}

float NotificationMail::SecondsSinceWaitStart()
{
    // In double, so that a wait across midnight does not lose the readings' fractions.
    double elapsed = double(Services.Clock.SecondsSinceMidnight()) - double(WaitStart);
    // The clock starts again at midnight.
    if (elapsed < 0.0)
        elapsed += SecondsPerDay;
    return static_cast<float>(elapsed);
}

// False when the event loop has gone because the program is ending: nobody is left to
// answer, and waiting on would only spin.
bool NotificationMail::PumpUntilInputOrLimit()
{
    // Sleep until something happens or until just past the limit, so that the next pass
    // sees the limit passed; never spin between passes.
    const float remaining = ReplyLimitSeconds - WaitElapsed;
    const uint32_t sleepMs =
        remaining < 0.0f ? 0u : static_cast<uint32_t>(std::ceil(remaining * 1000.0f)) + 1u;
    if (Services.Wait.WaitForInputOrHandles(0, nullptr, sleepMs) == WaitCode::Failed)
        return false;
    Services.Pump.PumpMessages();
    return true;
}
