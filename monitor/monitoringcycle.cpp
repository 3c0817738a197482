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
    Mail.ReportNextFailure();
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
    MailBody.clear();
    Scan.ScanBrokerServices(*this, MailBody);
    if (View.CheckBoxValue(Control::mSendMail) == 1)
        MailRestartRequests();
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

// A request the relay did not take is asked again by the next cycle, as if this scan had
// not seen the service stop: the broker is still down and nobody has been told.
void TarvikBrokerServiceCheck::MailRestartRequests()
{
    if (MailBody.empty()) {
        View.SetText(Control::StatusTxt, NoStatus);
        return;
    }
    const std::string address = View.Text(Control::mToAddress);
    if (SendEmail(View.Text(Control::mSmtpID), "TarvikBroker", address, "TarvikBrokerQueue", address,
                  "Tarvik Broker Service Check Message", MailBody)) {
        View.SetText(Control::StatusTxt, "Tarvik Broker Error Notification Mail Sent");
        return;
    }
    View.SetText(Control::StatusTxt, "Tarvik Broker Error Notification Mail Not Sent");
    Scan.WithdrawRequests();
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
