#include "inspection/brokerservicescan.h"

#include <algorithm>
#include <array>

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

// The operating systems' own services whose names hold "broker": none of them is one of
// this system's brokers, and a mail about one would only puzzle its reader.
constexpr std::array<std::string_view, 7> SystemBrokerServices{
    // Windows 10 and 11, Windows Server 2016 to 2022
    "BROKERINFRASTRUCTURE",       // Background Tasks Infrastructure Service, always running
    "SYSTEMEVENTSBROKER",         // System Events Broker, always running
    "TIMEBROKERSVC",              // Time Broker, started on demand
    "TOKENBROKER",                // Web Account Manager, started on demand
    "DEVQUERYBROKER",             // DevQuery Background Discovery Broker, started on demand
    "DEVICEASSOCIATIONBROKERSVC", // with a per-user copy for each user signed in
    // Debian, Fedora and others: the D-Bus message bus
    "DBUS-BROKER",
};

// Windows names a per-user copy of a service after the service, with "_" and a
// hexadecimal suffix ("DeviceAssociationBrokerSvc_5a3e1").
bool IsCopyOf(std::string_view upperName, std::string_view service)
{
    return upperName.size() > service.size() + 1 && upperName.starts_with(service) &&
           upperName[service.size()] == '_' &&
           upperName.find_first_not_of("0123456789ABCDEF", service.size() + 1) == std::string_view::npos;
}

bool IsSystemService(const std::string &upperName)
{
    return std::any_of(SystemBrokerServices.begin(), SystemBrokerServices.end(), [&](std::string_view service) {
        return upperName == service || IsCopyOf(upperName, service);
    });
}

bool IsBrokerName(const std::string &name)
{
    const std::string upper = UpperCased(name);
    return upper.find("BROKER") != std::string::npos && upper.find("LOG") == std::string::npos &&
           !IsSystemService(upper);
}

std::string Header(const std::string &server)
{
    return HeaderRule + CrLf + "Tarvik Broker Service Information for " + server + CrLf + HeaderRule + CrLf;
}

} // namespace

BrokerServiceScan::BrokerServiceScan(ServiceSource &source, MessageBoxService &boxes)
    : Source(source), Boxes(boxes)
{
}

void BrokerServiceScan::ScanBrokerServices(ScanFields &window, std::string &MailBody)
{
    ReplacedByRequests.clear();
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
    // The scan never pumps, so the report box can only ever be seen whole: the report is put
    // into it once, at the end or before the message that ends the scan, and a scan that
    // finds no broker leaves the previous report there.
    const bool mailing = window.SendMailValue() == 1;
    std::string report;
    for (std::size_t index = 0; index < services->Count(); ++index) {
        if (!IsBrokerName(services->Name(index)))
            continue;
        if (report.empty())
            report = Header(server);
        if (const auto failure = ReportService(*services, index, mailing, report, MailBody)) {
            window.SetReportText(report);
            ShowFailure(*failure);
            return;
        }
    }
    if (!report.empty())
        window.SetReportText(report);
}

std::optional<SourceFailure> BrokerServiceScan::ReportService(ServiceCollection &services, std::size_t index,
                                                              bool mailing, std::string &report,
                                                              std::string &MailBody)
{
    const std::string &name = services.Name(index);
    report += "Service Name: " + name + CrLf;
    BrokerService service;
    if (auto failure = services.Read(index, service))
        return failure;
    report += "PID: " + std::to_string(service.ProcessID) + CrLf + "Type of Service: " + service.ServiceType +
              CrLf + "Service State: " + service.State + CrLf + ServiceRule + CrLf;
    DetectStop(name, service, mailing, MailBody);
    return std::nullopt;
}

void BrokerServiceScan::DetectStop(const std::string &name, const BrokerService &service, bool mailing,
                                   std::string &MailBody)
{
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
    Boxes.MessageBox(failure.Source + "-->" + failure.Description, MessageBoxStyle::OkOnly,
                     std::string("Error"));
}
