#include "inspection/brokerservicescan.h"

#include "util/modmsgwaitobj.h"

#include <algorithm>
#include <array>
#include <vector>

namespace {

// Literals rather than strings: a reading the program has given up on may still use them
// while the program ends.
constexpr const char *Moniker = "winmgmts:{impersonationLevel=impersonate}!//";
constexpr const char *ServiceClass = "Win32_Service";
// Lets the source leave out, before any property is read, every service whose name
// cannot hold "broker"; the name test below still decides.
constexpr const char *BrokerNamePattern = "*[Bb][Rr][Oo][Kk][Ee][Rr]*";
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

// What the worker read of the server's brokers, in the source's order, and where it stopped.
struct BrokerReading {
    std::vector<BrokerService> Brokers;
    std::string FailedBroker; // whose read failed, if one did
    std::optional<SourceFailure> Failure;
};

namespace {

// On the worker: the listing and the reads alone, nothing of the window's.
void ReadBrokers(ServiceSource &source, const std::string &moniker, BrokerReading &reading)
{
    std::unique_ptr<ServiceCollection> services;
    if ((reading.Failure = source.InstancesOf(moniker, ServiceClass, BrokerNamePattern, services)))
        return;
    for (std::size_t index = 0; index < services->Count() && !reading.Failure; ++index) {
        if (!IsBrokerName(services->Name(index)))
            continue;
        BrokerService service;
        if ((reading.Failure = services->Read(index, service)))
            reading.FailedBroker = services->Name(index);
        else
            reading.Brokers.push_back(std::move(service));
    }
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
    // A server far away or with a thousand services takes seconds, and a broken one may never
    // answer: the source runs on the worker while the window goes on answering. The job owns
    // all it touches, so that it can be left behind when the program ends.
    const auto reading = std::make_shared<BrokerReading>();
    const int32_t done = Services.Background.Start(
        [source = Source, moniker = Moniker + server, reading] { ReadBrokers(*source, moniker, *reading); });
    if (done < 0) {
        ShowFailure({"Worker", "The last reading of the services has not ended, or the system gave no thread "
                               "for a new one."});
        return;
    }
    // Only a loop abandoned because the program is ending fails a wait on a handle just made.
    const int32_t noDeadline = -1, handleCount = 1;
    if (modMsgWaitObj::WaitPumpingMessages(noDeadline, done, handleCount,
                                           {Services.Ticks, Services.Wait, Services.Pump}) != WaitCode::Object0)
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
