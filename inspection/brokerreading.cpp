#include "inspection/brokerreading.h"

#include "util/offthread.h"

#include <algorithm>
#include <array>
#include <string_view>

namespace {

// Lets the source leave out, before any property is read, every service whose name
// cannot hold "broker"; the name test still decides.
constexpr const char *BrokerNamePattern = "*[Bb][Rr][Oo][Kk][Ee][Rr]*";

// The operating systems' own services whose names hold "broker": none of them is one of
// this system's brokers, and a mail about one would only puzzle its reader. Each system's names
// are its own: on Linux "tokenbroker" is free to be a broker of ours.
constexpr std::array<std::string_view, 7> WindowsBrokerServices{
    // Windows 10 and 11, Windows Server 2016 to 2022
    "BROKERINFRASTRUCTURE",       // Background Tasks Infrastructure Service, always running
    "SYSTEMEVENTSBROKER",         // System Events Broker, always running
    "TIMEBROKERSVC",              // Time Broker, started on demand
    "TOKENBROKER",                // Web Account Manager, started on demand
    "DEVQUERYBROKER",             // DevQuery Background Discovery Broker, started on demand
    "DEVICEASSOCIATIONBROKERSVC", // with a per-user copy for each user signed in
    "TIMEBROKER",                 // Time Broker of Windows 8.1 and Windows Server 2012 R2
};
// Debian, Fedora and others: the D-Bus message bus, a unit name that systemd compares exactly.
constexpr std::string_view LinuxBrokerService = "dbus-broker";

// Windows names a per-user copy of a service after the service, with "_" and a
// hexadecimal suffix ("DeviceAssociationBrokerSvc_5a3e1").
bool IsCopyOf(std::string_view upperName, std::string_view service)
{
    return upperName.size() > service.size() + 1 && upperName.starts_with(service) &&
           upperName[service.size()] == '_' &&
           upperName.find_first_not_of("0123456789ABCDEF", service.size() + 1) == std::string_view::npos;
}

// Windows compares service names without regard to letter case.
bool IsSystemService(const std::string &name, ServiceSystem system)
{
    if (system == ServiceSystem::Linux)
        return name == LinuxBrokerService;
    const std::string upper = UpperCased(name);
    return std::any_of(WindowsBrokerServices.begin(), WindowsBrokerServices.end(), [&](std::string_view service) {
        return upper == service || IsCopyOf(upper, service);
    });
}

// On the worker: the listing and the reads alone, nothing of the caller's.
BrokerReading ReadBrokers(ServiceSource &source, const std::string &moniker)
{
    BrokerReading reading;
    std::unique_ptr<ServiceCollection> services;
    if ((reading.Failure = source.InstancesOf(moniker, ServiceClassName, BrokerNamePattern, services)))
        return reading;
    for (std::size_t index = 0; index < services->Count() && !reading.Failure; ++index) {
        if (!IsBrokerName(services->Name(index), source.System()))
            continue;
        BrokerService service;
        if ((reading.Failure = services->Read(index, service)))
            reading.FailedBroker = services->Name(index);
        else
            reading.Brokers.push_back(std::move(service));
    }
    return reading;
}

} // namespace

std::string UpperCased(std::string text)
{
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return c >= 'a' && c <= 'z' ? char(c - 'a' + 'A') : char(c); });
    return text;
}

bool IsBrokerName(const std::string &name, ServiceSystem system)
{
    const std::string upper = UpperCased(name);
    return upper.find("BROKER") != std::string::npos && upper.find("LOG") == std::string::npos &&
           !IsSystemService(name, system);
}

bool MatchesNamePattern(const std::string &name, const std::string &pattern)
{
    const std::string text = UpperCased(name), glob = UpperCased(pattern);
    // A character of UTF-8 ends where the next one begins, at a byte that continues none.
    const auto nextCharacter = [&text](std::size_t at) {
        for (++at; at < text.size() && (static_cast<unsigned char>(text[at]) & 0xC0) == 0x80;)
            ++at;
        return at;
    };
    // On a mismatch, the last "*" takes one more character and the match goes on from there.
    std::size_t t = 0, g = 0, star = std::string::npos, resume = 0;
    while (t < text.size()) {
        if (g < glob.size() && glob[g] == '*') {
            star = g++;
            resume = t;
        } else if (g < glob.size() && glob[g] == '?') {
            t = nextCharacter(t), ++g;
        } else if (g < glob.size() && glob[g] == text[t]) {
            ++t, ++g;
        } else if (star != std::string::npos) {
            g = star + 1;
            t = resume = nextCharacter(resume);
        } else {
            return false;
        }
    }
    return glob.find_first_not_of('*', g) == std::string::npos;
}

std::optional<BrokerReading> ReadBrokersOffThread(std::shared_ptr<ServiceSource> source, const std::string &server,
                                                  int32_t limitMs, Worker &worker,
                                                  const modMsgWaitObj::MessageWaitPlatform &wait)
{
    return RunOffThread(
        worker, limitMs, wait,
        [source = std::move(source), moniker = ServiceMonikerPrefix + server] { return ReadBrokers(*source, moniker); },
        BrokerReading{{}, {}, SourceFailure{"Worker", "The last reading of the services has not ended, or the system "
                                                      "gave no thread for a new one."}});
}
