#pragma once

#include "inspection/brokerreading.h"

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <utility>
#include <vector>

// A broker service that has newly stopped: the restart a mail is to ask for.
struct RestartRequest {
    std::string Name;
    uint32_t ProcessID = 0;
};

// A broker service seen stopped for the first time since it was last seen running, with the
// process it ran as then.
struct StoppedBroker {
    std::string Name;
    std::optional<uint32_t> LastProcessID; // none when it was never seen running
};

// What one look at a server's broker services found.
struct ScanResult {
    // The report box's new text; empty when no broker service was found, so that the last
    // report stays.
    std::string Report;
    std::vector<RestartRequest> Requests;
    std::vector<StoppedBroker> Stopped;
    // Why the reading stopped short; the report holds what was read before.
    std::optional<SourceFailure> Failure;
};

// The mail body that asks for these restarts, one line each.
std::string RestartRequestLines(const std::vector<RestartRequest> &requests);

// The scan of one server's broker services: the report, and a restart request for each broker
// service that has newly stopped, asked for once per stop.
class BrokerServiceScan {
public:
    // Restarts are asked for only while `mailing`.
    ScanResult ScanBrokerServices(const std::string &server, bool mailing, const BrokerReading &reading);
    // The mail that asked for these restarts of the server's brokers has been delivered.
    void RecordNotified(const std::string &server, const std::vector<RestartRequest> &requests);

private:
    // A broker service by the server text it was read from and its name: two servers may each
    // have a broker of the same name, and the server field may switch between them.
    using BrokerKey = std::pair<std::string, std::string>;

    bool IsNewlyStopped(const BrokerKey &broker, const BrokerService &service) const;
    void WatchStops(const BrokerKey &broker, const BrokerService &service, std::vector<StoppedBroker> &stopped);

    // The process id each stopped broker service had when its restart was asked for; a service
    // leaves it when it is seen running, so each stop is asked for once.
    std::map<BrokerKey, std::string> NotifiedPid;
    // The process each broker service last ran as; none once it was seen stopped, whether or not
    // anybody was asked to restart it.
    std::map<BrokerKey, std::optional<uint32_t>> LastProcessID;
};
