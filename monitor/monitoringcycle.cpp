// The start button's handler: the monitoring loop, which runs on the user-interface
// thread and stays responsive only through the pumps inside the mail waits and the
// interval wait. A press during those pumps runs here again as a nested call.
#include "monitor/tarvikbrokerservicecheck.h"

#include "util/modmsgwaitobj.h"

#include <cmath>
#include <limits>

namespace {
const QString StartCaption = QStringLiteral("Check Broker Instances");
const QString CancelCaption = QStringLiteral("Cancel processing");
const QString NoStatus = QStringLiteral("N/A");
}

void TarvikBrokerServiceCheck::CheckBrokerPressed(int16_t)
{
    mKeepRunning->setCheckState(Qt::Checked);
    StatusTxt->setText(NoStatus);
    if (Processing) {
        // A cancel: the running loop sees it at its end test, after its current wait.
        Processing = false;
        return;
    }
    CheckBroker.at(1)->setText(CancelCaption);
    Processing = true;
    while (Processing) {
        if (!RunOneCycle())
            Processing = false;
        Processing = Processing && CheckBoxValue(*mKeepRunning) > 0;
    }
    Processing = false;
    CheckBroker.at(1)->setText(StartCaption);
}

// Scan, mail, pump, wait. False when the interval cannot be waited.
bool TarvikBrokerServiceCheck::RunOneCycle()
{
    MailBody.clear();
    Scan.ScanBrokerServices(*this, MailBody);
    if (CheckBoxValue(*mSendMail) == 1) {
        if (!MailBody.empty()) {
            const std::string address = mToAddress->text().toStdString();
            SendEmail(mSmtpID->text().toStdString(), "TarvikBroker", address, "TarvikBrokerQueue",
                      address, "Tarvik Broker Service Check Message", MailBody);
            StatusTxt->setText(QStringLiteral("Tarvik Broker Error Notification Mail Sent"));
        } else {
            StatusTxt->setText(NoStatus);
        }
    }
    Platform.Services.Pump.PumpMessages();

    const std::optional<int32_t> interval = IntervalMilliseconds();
    if (!interval) {
        Platform.Services.Boxes.MessageBox(
            "Interval (minutes) must be a number of minutes from 0 to 35791, such as 1; "
            "monitoring has stopped.",
            MessageBoxStyle::OkOnly, std::nullopt);
        return false;
    }
    const int32_t handles = 0;
    const int32_t handleCount = 0;
    modMsgWaitObj::WaitPumpingMessages(*interval, handles, handleCount,
                                       {Platform.Ticks, Platform.Services.Wait, Platform.Services.Pump});
    return true;
}

// The field is read anew for every wait, so an edit takes effect at the next one.
// Negative minutes would wait forever or not at all, so they are refused like text
// that is no number.
std::optional<int32_t> TarvikBrokerServiceCheck::IntervalMilliseconds()
{
    const std::optional<double> minutes =
        Platform.Services.Numbers.NumberFromText(mInterval->text().toStdString());
    if (!minutes)
        return std::nullopt;
    // The default rounding mode sends halves to the even neighbour.
    const double milliseconds = std::nearbyint(*minutes * 1000.0 * 60.0);
    if (!(milliseconds >= 0.0 && milliseconds <= std::numeric_limits<int32_t>::max()))
        return std::nullopt;
    return static_cast<int32_t>(milliseconds);
}
