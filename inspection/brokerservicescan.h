#pragma once

#include "inspection/brokerreading.h"
#include "platform/ui/windowservices.h"

#include <map>
#include <memory>
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
    BrokerServiceScan(std::shared_ptr<ServiceSource> source, WindowServices services);

    // Appends restart requests to MailBody. The source is read on the worker meanwhile, and
    // the window's messages are pumped as in any wait.
    void ScanBrokerServices(ScanFields &window, std::string &MailBody);
    // The last scan's requests did not reach anyone: the next scan asks for each again.
    void WithdrawRequests();

    // By service name, the process id each stopped broker service had when its restart was
    // asked for; a service leaves it when it is seen running, so each stop is asked for once.
    std::map<std::string, std::string> NotifiedPid;

private:
    void Report(ScanFields &window, const std::string &server, const BrokerReading &reading,
                std::string &MailBody);
    void DetectStop(const BrokerService &service, bool mailing, std::string &MailBody);
    void ShowFailure(const SourceFailure &failure);

    std::shared_ptr<ServiceSource> Source;
    WindowServices Services;
    // What the last scan's requests replaced in NotifiedPid: a value, or none.
    std::map<std::string, std::optional<std::string>> ReplacedByRequests;
};
