#pragma once

#include "inspection/brokerservicescan.h"
#include "mail/notificationmail.h"
#include "monitor/monitorplatform.h"
#include "monitor/monitorview.h"
#include "monitor/outage.h"

#include <optional>
#include <string>
#include <vector>

// The monitor's one window as the operator works it: the settings it reads, the report and
// status it writes, the monitoring loop behind the start button, the exit guard, and the
// notification mail over the window's socket. Plain C++: each platform's window only
// builds the controls and hands the presses on. Only the window shows and records what
// happened: the scan and the mail hand back what they found.
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
    // The status line while no mail is under way.
    static constexpr const char *NoStatus = "N/A";

    // A server that could not be read: which, since when, why, and whether a mail said so.
    struct UnreadableServer {
        std::string Server;
        LocalDateTime Since;
        std::string Words;
        bool Told = false;
    };

    void WindowLoaded();
    bool RunOneCycle();
    std::optional<int32_t> IntervalMilliseconds();
    ScanResult ScanAndReport(const std::string &server, bool mailing);
    void TellScanFailure(const std::string &server, const std::string &words, const std::optional<std::string> &title);
    bool UnreadableNoticeDue() const;
    std::string UnreadableNotice() const;
    void MailWhatIsDue(const std::string &server, const std::vector<RestartRequest> &requests);
    std::shared_ptr<StandingBox> ShowMailFailure(const MailFailure &failure);

    MonitorPlatform Platform;
    MonitorView &View;
    NotificationMail Mail;
    BrokerServiceScan Scan;
    bool Processing = false;
    // From the start of a loop to its end, cancelled or not.
    bool LoopOnStack = false;
    // Once the window is unloaded, a press still queued behind Exit starts nothing.
    bool Unloaded = false;
    Outage ScanOutage;
    Outage RelayOutage;
    UnreadableServer Unreadable;
    // At most one box of each kind stands on the screen.
    std::shared_ptr<StandingBox> ScanBox;
    std::shared_ptr<StandingBox> MailBox;
};
