#pragma once

#include "inspection/brokerservicescan.h"
#include "mail/notificationmail.h"
#include "monitor/monitorplatform.h"
#include "monitor/monitorview.h"

#include <optional>
#include <string>
#include <vector>

// The monitor's one window as the operator works it: the settings it reads, the report and
// status it writes, the monitoring loop behind the start button, the exit guard, and the
// notification mail over the window's socket. Plain C++: each platform's window only
// builds the controls and hands the presses on. Only the window shows what happened:
// the scan and the mail hand back what they found.
class TarvikBrokerServiceCheck final : public MonitorHandlers {
public:
    // Runs WindowLoaded: the view is built but not yet shown.
    TarvikBrokerServiceCheck(MonitorPlatform platform, MonitorView &view);

    MailResult SendEmail(const std::string &MailServerName, const std::string &FromName,
                         const std::string &FromEmailAddress, const std::string &ToName,
                         const std::string &ToEmailAddress, const std::string &EmailSubject,
                         const std::string &EmailBodyOfMessage);

    void CheckBrokerPressed(int16_t Index) override;
    void ExitProgramPressed() override;
    void CloseRequested() override;
    bool IsProcessing() const { return Processing; }

private:
    void WindowLoaded();
    bool RunOneCycle();
    ScanResult ScanAndReport(bool mailing);
    void MailRestartRequests(const std::vector<RestartRequest> &requests);
    void ShowMailFailure(const MailFailure &failure);
    std::optional<int32_t> IntervalMilliseconds();

    MonitorPlatform Platform;
    MonitorView &View;
    NotificationMail Mail;
    BrokerServiceScan Scan;
    bool Processing = false;
    // From the start of a loop to its end, cancelled or not.
    bool LoopOnStack = false;
    // Once the window is unloaded, a press still queued behind Exit starts nothing.
    bool Unloaded = false;
    // Since the last failed mail: a box stops the monitoring until someone comes, so only the
    // first failed mail of an outage shows one, until a press shows someone is there again.
    bool MailOutage = false;
};
