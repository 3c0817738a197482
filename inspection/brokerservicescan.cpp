#include "inspection/brokerservicescan.h"

#include <utility>

namespace {

const std::string HeaderRule(42, '=');
const std::string ServiceRule(57, '=');
constexpr const char *CrLf = "\r\n";

std::string Header(const std::string &server)
{
    return HeaderRule + CrLf + "Tarvik Broker Service Information for " + server + CrLf + HeaderRule + CrLf;
}

std::string NameLine(const std::string &name)
{
    return "Service Name: " + name + CrLf;
}

std::string ReportBlock(const BrokerService &service)
{
    return NameLine(service.Name) + "PID: " + std::to_string(service.ProcessID) + CrLf + "Type of Service: " +
           service.ServiceType + CrLf + "Service State: " + service.State + CrLf + ServiceRule + CrLf;
}

} // namespace

std::string RestartRequestLines(const std::vector<RestartRequest> &requests)
{
    std::string lines;
    for (const RestartRequest &request : requests)
        lines += "Please restart Tarvik Broker process " + request.Name + CrLf;
    return lines;
}

// A broker whose read failed is named under what came before it.
ScanResult BrokerServiceScan::ScanBrokerServices(const std::string &server, bool mailing, const BrokerReading &reading)
{
    ScanResult result;
    result.Failure = reading.Failure;
    std::string blocks;
    for (const BrokerService &service : reading.Brokers) {
        blocks += ReportBlock(service);
        const BrokerKey broker{server, service.Name};
        if (mailing && IsNewlyStopped(broker, service))
            result.Requests.push_back({service.Name, service.ProcessID});
        WatchStops(broker, service, result.Stopped);
        if (service.State == "Running")
            NotifiedPid.erase(broker);
    }
    if (reading.Failure && !reading.FailedBroker.empty())
        blocks += NameLine(reading.FailedBroker);
    if (!blocks.empty())
        result.Report = Header(server) + blocks;
    return result;
}

bool BrokerServiceScan::IsNewlyStopped(const BrokerKey &broker, const BrokerService &service) const
{
    const auto notified = NotifiedPid.find(broker);
    return service.State == "Stopped" &&
           (notified == NotifiedPid.end() || notified->second != std::to_string(service.ProcessID));
}

void BrokerServiceScan::WatchStops(const BrokerKey &broker, const BrokerService &service,
                                   std::vector<StoppedBroker> &stopped)
{
    if (service.State == "Running") {
        LastProcessID[broker] = service.ProcessID;
        return;
    }
    if (service.State != "Stopped")
        return;
    const auto [known, firstSeen] = LastProcessID.try_emplace(broker);
    if (firstSeen || known->second)
        stopped.push_back({service.Name, std::exchange(known->second, std::nullopt)});
}

void BrokerServiceScan::RecordNotified(const std::string &server, const std::vector<RestartRequest> &requests)
{
    for (const RestartRequest &request : requests)
        NotifiedPid[{server, request.Name}] = std::to_string(request.ProcessID);
}
