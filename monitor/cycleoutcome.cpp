// What a monitoring cycle found, shown to whoever is at the window without holding up the
// next cycle, mailed to whoever is not, and recorded for both.
#include "monitor/monitorevents.h"
#include "monitor/tarvikbrokerservicecheck.h"

#include "mail/smtptexts.h"

namespace {

bool Standing(const std::shared_ptr<StandingBox> &box)
{
    return box && box->Standing();
}

std::vector<std::string> NamesOf(const std::vector<RestartRequest> &requests)
{
    std::vector<std::string> names;
    for (const RestartRequest &request : requests)
        names.push_back(request.Name);
    return names;
}

// What a mail asked, in a record's words.
std::string TopicOf(bool notice, const std::vector<std::string> &names)
{
    std::string restarts;
    for (const std::string &name : names)
        restarts += (restarts.empty() ? "" : ", ") + name;
    const std::string asking = restarts.empty() ? "" : "asking to restart " + restarts;
    if (!notice)
        return asking;
    return "saying that the services could not be read" + (asking.empty() ? "" : " and " + asking);
}

// RFC 5321 section 4.5.3.1.6: a relay may refuse a line of more than 998 octets, and with it
// the restart requests that share its mail. Cut where a UTF-8 character begins.
std::string WithinALine(std::string line)
{
    constexpr std::size_t Longest = 990;
    if (line.size() <= Longest)
        return line;
    std::size_t end = Longest;
    while (end > 0 && (static_cast<unsigned char>(line[end]) & 0xC0) == 0x80)
        --end;
    return line.substr(0, end) + "...";
}

} // namespace

// The source is read on the worker while the window's messages are pumped; the report goes
// into the box before the message of a failure that ended the reading, and a scan that finds
// no broker leaves the previous report there.
ScanResult TarvikBrokerServiceCheck::ScanAndReport(const std::string &server, bool mailing)
{
    WindowServices &services = Platform.Services;
    if (server.empty()) {
        TellScanFailure(server, "Fill in the name to the server to monitor", std::nullopt);
        return {};
    }
    const int32_t noLimit = -1;
    const std::optional<BrokerReading> reading = ReadBrokersOffThread(
        Platform.Source, server, noLimit, services.Background, {services.Ticks, services.Wait, services.Pump});
    // Only a wait abandoned because the program is ending gives up without a limit.
    if (!reading)
        return {};
    ScanResult scan = Scan.ScanBrokerServices(server, mailing, *reading);
    if (!scan.Report.empty())
        View.SetText(Control::txChanges, scan.Report);
    for (const StoppedBroker &stopped : scan.Stopped)
        Platform.Log.Write(MonitorEvents::BrokerStopped(server, stopped.Name, stopped.LastProcessID));
    if (scan.Failure)
        TellScanFailure(server, scan.Failure->Source + "-->" + scan.Failure->Description, "Error");
    else if (ScanOutage.Succeeded())
        Platform.Log.Write(MonitorEvents::ScanOutageEnded(server));
    return scan;
}

// One box an outage, and none while the last one still stands: a server down all night
// shows one box in the morning, and its record tells the rest.
void TarvikBrokerServiceCheck::TellScanFailure(const std::string &server, const std::string &words,
                                               const std::optional<std::string> &title)
{
    // Another server's failure is an outage of its own.
    if (server != Unreadable.Server)
        ScanOutage = Outage();
    const Outage::Turn turn = ScanOutage.Failed();
    if (turn.Began) {
        Unreadable = {server, Platform.Services.Clock.LocalNow(), words, false};
        Platform.Log.Write(MonitorEvents::ScanOutageBegun(server, words));
    }
    Unreadable.Words = words;
    // A box of an earlier outage that still stands holds this one's back until it goes.
    if (turn.BoxDue && !Standing(ScanBox)) {
        ScanBox = Platform.Services.Boxes.ShowStanding(words, MessageBoxStyle::OkOnly, title);
        ScanOutage.BoxUp();
    }
}

// One slow answer pages nobody: a server is news once it failed two cycles in a row, and then
// once, until a mail that says so is delivered.
bool TarvikBrokerServiceCheck::UnreadableNoticeDue() const
{
    return ScanOutage.FailedInARow() >= 2 && !Unreadable.Told && !Unreadable.Server.empty();
}

std::string TarvikBrokerServiceCheck::UnreadableNotice() const
{
    std::string words = Unreadable.Words;
    for (char &c : words)
        if (c == '\r' || c == '\n')
            c = ' ';
    return WithinALine("The services of " + Unreadable.Server + " could not be read since " +
                       MailDateValue(Unreadable.Since) + ": " + words) + "\r\n";
}

// A request the relay did not take is asked again by the next cycle: the broker is still down
// and nobody has been told. Only a delivered one is remembered as asked for.
void TarvikBrokerServiceCheck::MailWhatIsDue(const std::string &server, const std::vector<RestartRequest> &requests)
{
    const bool notice = UnreadableNoticeDue();
    if (requests.empty() && !notice) {
        View.SetText(Control::StatusTxt, NoStatus);
        return;
    }
    const std::string MailBody = (notice ? UnreadableNotice() : "") + RestartRequestLines(requests);
    const std::string relay = View.Text(Control::mSmtpID);
    const std::string address = View.Text(Control::mToAddress);
    const MailResult sent = SendEmail(relay, "TarvikBroker", address, "TarvikBrokerQueue", address,
                                      "Tarvik Broker Service Check Message", MailBody);
    View.SetText(Control::StatusTxt, sent.Delivered ? "Tarvik Broker Error Notification Mail Sent"
                                                    : "Tarvik Broker Error Notification Mail Not Sent");
    const std::vector<std::string> names = NamesOf(requests);
    if (sent.Delivered) {
        Scan.RecordNotified(server, requests);
        Unreadable.Told = Unreadable.Told || notice;
        Platform.Log.Write(MonitorEvents::MailDelivered(server, relay, TopicOf(notice, names), names, sent.Acceptance));
        if (RelayOutage.Succeeded())
            Platform.Log.Write(MonitorEvents::RelayOutageEnded(relay));
        return;
    }
    // Only the program's end leaves no words, and nothing more to tell.
    if (!sent.Failure)
        return;
    const MailFailure &failure = *sent.Failure;
    Platform.Log.Write(MonitorEvents::MailNotDelivered(server, relay, TopicOf(notice, names), names, failure.Words));
    const Outage::Turn turn = RelayOutage.Failed();
    if (turn.Began)
        Platform.Log.Write(MonitorEvents::RelayOutageBegun(relay, failure.Words));
    if (turn.BoxDue && !Standing(MailBox)) {
        MailBox = ShowMailFailure(failure);
        RelayOutage.BoxUp();
    }
}

// Nothing sent is the window's own refusal, under its title; the relay's failure is told as
// news, with an empty title.
std::shared_ptr<StandingBox> TarvikBrokerServiceCheck::ShowMailFailure(const MailFailure &failure)
{
    MessageBoxService &boxes = Platform.Services.Boxes;
    if (failure.What == MailFailure::Kind::NotStarted)
        return boxes.ShowStanding(failure.Words, MessageBoxStyle::OkOnly, std::nullopt);
    return boxes.ShowStanding(failure.Words, MessageBoxStyle::OkInformation, std::string());
}
