// The start button's handler: the monitoring loop, which runs on the user-interface
// thread and stays responsive only through the pumps inside the mail waits, the scan's
// wait for the worker and the interval wait. A press during those pumps runs here again as
// a nested call.
#include "monitor/monitorevents.h"
#include "monitor/tarvikbrokerservicecheck.h"

#include "util/modmsgwaitobj.h"

#include <cmath>
#include <limits>

namespace {
const std::string StartCaption = "Check Broker Instances";
const std::string CancelCaption = "Cancel processing";
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
        Platform.Log.Write(MonitorEvents::MonitoringCancelled(View.Text(Control::mBrokerID)));
        return;
    }
    View.SetText(Control::CheckBroker_1, CancelCaption);
    Processing = true;
    Platform.Log.Write(MonitorEvents::MonitoringStarted(View.Text(Control::mBrokerID)));
    // Someone is at the window: the next failure of either kind shows its box again.
    ScanOutage.Rearm();
    RelayOutage.Rearm();
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
    Platform.Log.Write(MonitorEvents::MonitoringEnded(View.Text(Control::mBrokerID)));
}

// Scan, mail, pump, wait. False when the interval cannot be waited.
bool TarvikBrokerServiceCheck::RunOneCycle()
{
    // Read once, so that the scan asks for the restarts that the mail then sends.
    const bool mailing = View.CheckBoxValue(Control::mSendMail) == 1;
    const std::string server = View.Text(Control::mBrokerID);
    const ScanResult scan = ScanAndReport(server, mailing);
    if (mailing)
        MailWhatIsDue(server, scan.Requests);
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
