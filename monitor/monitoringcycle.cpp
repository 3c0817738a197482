// The start button's handler: the monitoring loop, which runs on the user-interface
// thread and stays responsive only through the pumps inside the mail waits and the
// interval wait. A press during those pumps runs here again as a nested call.
#include "monitor/tarvikbrokerservicecheck.h"

#include "util/modmsgwaitobj.h"

#include <cmath>
#include <limits>

namespace {
const std::string StartCaption = "Check Broker Instances";
const std::string CancelCaption = "Cancel processing";
const std::string NoStatus = "N/A";
}

void TarvikBrokerServiceCheck::CheckBrokerPressed(int16_t)
{
    if (Unloaded)
        return;
    View.SetCheckBoxValue(Control::mKeepRunning, 1);
    View.SetText(Control::StatusTxt, NoStatus);
    if (Processing) {
        // A cancel: the running loop sees it at its end test, after its current wait.
        Processing = false;
        return;
    }
    View.SetText(Control::CheckBroker_1, CancelCaption);
    Processing = true;
    // Someone is at the window: the next failed mail shows its message again.
    MailOutage = false;
    // A loop that was cancelled but is still in one of its waits simply goes on: a second
    // loop on top of it would hold the first one's mail dialogue frozen underneath.
    if (LoopOnStack)
        return;
    LoopOnStack = true;
    while (Processing) {
        if (!RunOneCycle())
            Processing = false;
        Processing = Processing && View.CheckBoxValue(Control::mKeepRunning) > 0;
    }
    LoopOnStack = false;
    Processing = false;
    View.SetText(Control::CheckBroker_1, StartCaption);
}

// Scan, mail, pump, wait. False when the interval cannot be waited.
bool TarvikBrokerServiceCheck::RunOneCycle()
{
    // Read once, so that the scan asks for the restarts that the mail then sends.
    const bool mailing = View.CheckBoxValue(Control::mSendMail) == 1;
    const ScanResult scan = ScanAndReport(mailing);
    if (mailing)
        MailRestartRequests(scan.Requests);
    Platform.Services.Pump.PumpMessages();

    const std::optional<int32_t> interval = IntervalMilliseconds();
    if (!interval) {
        Platform.Services.Boxes.MessageBox(
            "Interval (minutes) must be a number of minutes from 0 to 35791, such as 1; "
            "monitoring has stopped.",
            MessageBoxStyle::OkOnly, std::nullopt);
        return false;
    }
    const WindowServices &services = Platform.Services;
    modMsgWaitObj::WaitPumpingMessages(*interval, {}, {services.Ticks, services.Wait, services.Pump});
    return true;
}

// One look at the server in the window. The source is read on the worker while the window's
// messages are pumped; the report goes into the box before the message of a failure that ended
// the reading, and a scan that finds no broker leaves the previous report there.
ScanResult TarvikBrokerServiceCheck::ScanAndReport(bool mailing)
{
    WindowServices &services = Platform.Services;
    const std::string server = View.Text(Control::mBrokerID);
    if (server.empty()) {
        services.Boxes.MessageBox("Fill in the name to the server to monitor", MessageBoxStyle::OkOnly, std::nullopt);
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
    if (scan.Failure)
        services.Boxes.MessageBox(scan.Failure->Source + "-->" + scan.Failure->Description, MessageBoxStyle::OkOnly,
                                  std::string("Error"));
    return scan;
}

// A request the relay did not take is asked again by the next cycle: the broker is still down
// and nobody has been told. Only a delivered one is remembered as asked for.
void TarvikBrokerServiceCheck::MailRestartRequests(const std::vector<RestartRequest> &requests)
{
    if (requests.empty()) {
        View.SetText(Control::StatusTxt, NoStatus);
        return;
    }
    const std::string MailBody = RestartRequestLines(requests);
    const std::string address = View.Text(Control::mToAddress);
    const MailResult sent = SendEmail(View.Text(Control::mSmtpID), "TarvikBroker", address, "TarvikBrokerQueue",
                                      address, "Tarvik Broker Service Check Message", MailBody);
    View.SetText(Control::StatusTxt, sent.Delivered ? "Tarvik Broker Error Notification Mail Sent"
                                                    : "Tarvik Broker Error Notification Mail Not Sent");
    if (sent.Failure && !MailOutage)
        ShowMailFailure(*sent.Failure);
    MailOutage = !sent.Delivered;
    if (sent.Delivered)
        Scan.RecordNotified(requests);
}

// Nothing sent is the window's own refusal, under its title; the relay's failure is told as
// news, with an empty title.
void TarvikBrokerServiceCheck::ShowMailFailure(const MailFailure &failure)
{
    if (failure.What == MailFailure::Kind::NotStarted)
        Platform.Services.Boxes.MessageBox(failure.Words, MessageBoxStyle::OkOnly, std::nullopt);
    else
        Platform.Services.Boxes.MessageBox(failure.Words, MessageBoxStyle::OkInformation, std::string());
}

// The field is read anew for every wait, so an edit takes effect at the next one.
// Negative minutes would wait forever or not at all, so they are refused like text
// that is no number.
std::optional<int32_t> TarvikBrokerServiceCheck::IntervalMilliseconds()
{
    const std::optional<double> minutes =
        Platform.Services.Numbers.NumberFromText(View.Text(Control::mInterval));
    if (!minutes)
        return std::nullopt;
    // The default rounding mode sends halves to the even neighbour.
    const double milliseconds = std::nearbyint(*minutes * 1000.0 * 60.0);
    if (!(milliseconds >= 0.0 && milliseconds <= std::numeric_limits<int32_t>::max()))
        return std::nullopt;
    return static_cast<int32_t>(milliseconds);
}
