#pragma once

#include "platform/messagebox.h"
#include "platform/servicesource.h"

#include <map>
#include <string>

// The window fields one scan reads and writes.
class ScanFields {
public:
    virtual ~ScanFields() = default;
    virtual std::string BrokerServer() = 0; // mBrokerID, as typed
    virtual int SendMailValue() = 0;        // mSendMail: 0, 1 or 2
    virtual void SetReportText(const std::string &text) = 0; // txChanges
};

// One look at the broker services of the server named in the window: the report, and a
// restart request for a broker service that has newly stopped.
class BrokerServiceScan {
public:
    BrokerServiceScan(ServiceSource &source, MessageBoxService &boxes);

    // Appends restart requests to MailBody; never pumps messages.
    void ScanBrokerServices(ScanFields &window, std::string &MailBody);
    // The last scan's requests did not reach anyone: the next scan asks for each again.
    void WithdrawRequests();

    // By service name, the process id each stopped broker service had when its restart was
    // asked for; a service leaves it when it is seen running, so each stop is asked for once.
    std::map<std::string, std::string> NotifiedPid;

private:
    std::optional<SourceFailure> ReportService(ServiceCollection &services, std::size_t index, bool mailing,
                                               std::string &report, std::string &MailBody);
    void DetectStop(const std::string &name, const BrokerService &service, bool mailing, std::string &MailBody);
    void ShowFailure(const SourceFailure &failure);

    ServiceSource &Source;
    MessageBoxService &Boxes;
    // What the last scan's requests replaced in NotifiedPid: a value, or none.
    std::map<std::string, std::optional<std::string>> ReplacedByRequests;
};
