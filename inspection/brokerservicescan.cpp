#include "inspection/brokerservicescan.h"

#include <algorithm>

namespace {

const std::string Moniker = "winmgmts:{impersonationLevel=impersonate}!//";
const std::string ServiceClass = "Win32_Service";
// Lets the source leave out, before any property is read, every service whose name
// cannot hold "broker"; the name test below still decides.
const std::string BrokerNamePattern = "*[Bb][Rr][Oo][Kk][Ee][Rr]*";
const std::string HeaderRule(42, '=');
const std::string ServiceRule(57, '=');
constexpr const char *CrLf = "\r\n";

// No character outside ASCII upper-cases to a letter of "BROKER" or "LOG", so ASCII
// upper-casing decides these tests as a full one would.
std::string UpperCased(std::string text)
{
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return c >= 'a' && c <= 'z' ? char(c - 'a' + 'A') : char(c); });
    return text;
}

bool IsBrokerName(const std::string &name)
{
    const std::string upper = UpperCased(name);
    return upper.find("BROKER") != std::string::npos && upper.find("LOG") == std::string::npos;
}

// The report box is rewritten whole for every line, so what the operator sees is always
// a complete text.
void AppendReportLine(ScanFields &window, const std::string &line)
{
    window.SetReportText(window.ReportText() + line + CrLf);
}

void WriteHeader(ScanFields &window)
{
    window.SetReportText(HeaderRule + CrLf);
    AppendReportLine(window, "Tarvik Broker Service Information for " + window.BrokerServer());
    AppendReportLine(window, HeaderRule);
}

} // namespace

BrokerServiceScan::BrokerServiceScan(ServiceSource &source, MessageBoxService &boxes)
    : Source(source), Boxes(boxes)
{
}

void BrokerServiceScan::ScanBrokerServices(ScanFields &window, std::string &MailBody)
{
    const std::string server = window.BrokerServer();
    if (server.empty()) {
        Boxes.MessageBox("Fill in the name to the server to monitor", MessageBoxStyle::OkOnly,
                         std::nullopt);
        return;
    }
    std::unique_ptr<ServiceCollection> services;
    if (const auto failure = Source.InstancesOf(Moniker + server, ServiceClass, BrokerNamePattern, services)) {
        ShowFailure(*failure);
        return;
    }
    bool headerWritten = false;
    for (std::size_t index = 0; index < services->Count(); ++index)
        if (IsBrokerName(services->Name(index)) &&
            !ReportService(window, *services, index, headerWritten, MailBody))
            return;
}

// False when the service's properties could not be read; the scan ends there.
bool BrokerServiceScan::ReportService(ScanFields &window, ServiceCollection &services,
                                      std::size_t index, bool &headerWritten, std::string &MailBody)
{
    if (!headerWritten) {
        WriteHeader(window);
        headerWritten = true;
    }
    const std::string &name = services.Name(index);
    AppendReportLine(window, "Service Name: " + name);
    BrokerService service;
    if (const auto failure = services.Read(index, service)) {
        ShowFailure(*failure);
        return false;
    }
    AppendReportLine(window, "PID: " + std::to_string(service.ProcessID));
    AppendReportLine(window, "Type of Service: " + service.ServiceType);
    AppendReportLine(window, "Service State: " + service.State);
    AppendReportLine(window, ServiceRule);
    DetectStop(name, service, window, MailBody);
    return true;
}

void BrokerServiceScan::DetectStop(const std::string &name, const BrokerService &service,
                                   ScanFields &window, std::string &MailBody)
{
    const std::string pid = std::to_string(service.ProcessID);
    if (service.State == "Stopped" && pid != NotifiedPid && window.SendMailValue() == 1) {
        MailBody += "Please restart Tarvik Broker process " + name + CrLf;
        NotifiedPid = pid;
    }
    if (service.State == "Running")
        NotifiedPid.clear();
}

void BrokerServiceScan::ShowFailure(const SourceFailure &failure)
{
    Boxes.MessageBox(failure.Source + "-->" + failure.Description, MessageBoxStyle::OkOnly,
                     std::string("Error"));
}
