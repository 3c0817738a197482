#include "inspection/brokerservicescan.h"

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

BrokerServiceScan::BrokerServiceScan(std::shared_ptr<ServiceSource> source, WindowServices services)
    : Source(std::move(source)), Services(services)
{
}

void BrokerServiceScan::ScanBrokerServices(ScanFields &window, std::string &MailBody)
{
    ReplacedByRequests.clear();
    const std::string server = window.BrokerServer();
    if (server.empty()) {
        Services.Boxes.MessageBox("Fill in the name to the server to monitor", MessageBoxStyle::OkOnly,
                                  std::nullopt);
        return;
    }
    const int32_t noLimit = -1;
    const std::optional<BrokerReading> reading = ReadBrokersOffThread(
        Source, server, noLimit, Services.Background, {Services.Ticks, Services.Wait, Services.Pump});
    // Only a wait abandoned because the program is ending gives up without a limit.
    if (!reading)
        return;
    Report(window, server, *reading, MailBody);
}

// The report goes into the box once, before the message of a failure that ended the
// reading, and a scan that finds no broker leaves the previous report there.
void BrokerServiceScan::Report(ScanFields &window, const std::string &server, const BrokerReading &reading,
                               std::string &MailBody)
{
    const bool mailing = window.SendMailValue() == 1;
    std::string report;
    for (const BrokerService &service : reading.Brokers) {
        report += ReportBlock(service);
        DetectStop(service, mailing, MailBody);
    }
    if (reading.Failure && !reading.FailedBroker.empty())
        report += NameLine(reading.FailedBroker);
    if (!report.empty())
        window.SetReportText(Header(server) + report);
    if (reading.Failure)
        ShowFailure(*reading.Failure);
}

void BrokerServiceScan::DetectStop(const BrokerService &service, bool mailing, std::string &MailBody)
{
    const std::string &name = service.Name;
    const std::string pid = std::to_string(service.ProcessID);
    const auto notified = NotifiedPid.find(name);
    const bool asked = notified != NotifiedPid.end() && notified->second == pid;
    if (service.State == "Stopped" && !asked && mailing) {
        MailBody += "Please restart Tarvik Broker process " + name + CrLf;
        ReplacedByRequests.emplace(name, notified == NotifiedPid.end() ? std::nullopt
                                                                       : std::optional(notified->second));
        NotifiedPid[name] = pid;
    }
    if (service.State == "Running")
        NotifiedPid.erase(name);
}

void BrokerServiceScan::WithdrawRequests()
{
    for (const auto &[name, replaced] : ReplacedByRequests) {
        if (replaced)
            NotifiedPid[name] = *replaced;
        else
            NotifiedPid.erase(name);
    }
    ReplacedByRequests.clear();
}

void BrokerServiceScan::ShowFailure(const SourceFailure &failure)
{
    Services.Boxes.MessageBox(failure.Source + "-->" + failure.Description, MessageBoxStyle::OkOnly,
                              std::string("Error"));
}
