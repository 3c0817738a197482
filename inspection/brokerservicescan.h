#pragma once

#include "platform/messagebox.h"
#include "platform/servicesource.h"

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

    // The process id the last restart request was for; one value for every broker service.
    std::string NotifiedPid;

private:
    std::optional<SourceFailure> ReportService(ServiceCollection &services, std::size_t index, bool mailing,
                                               std::string &report, std::string &MailBody);
    void DetectStop(const std::string &name, const BrokerService &service, bool mailing, std::string &MailBody);
    void ShowFailure(const SourceFailure &failure);

    ServiceSource &Source;
    MessageBoxService &Boxes;
};
