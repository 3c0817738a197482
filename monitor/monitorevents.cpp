#include "monitor/monitorevents.h"

#include "platform/ui/messagebox.h"

namespace MonitorEvents {
namespace {

using Level = LogEntry::Level;
using Fields = std::vector<std::pair<std::string, std::string>>;

// The kinds, each with its journal MESSAGE_ID and its event id, which the Windows program's
// message table (monitorevents_win32.mc) knows too.
struct Kind {
    Level Severity;
    const char *MessageId;
    uint16_t EventId;
};
constexpr Kind Started{Level::Information, "147d6c338cc84c609f6d6501d24e76a5", 1};
constexpr Kind Cancelled{Level::Information, "4f8e23644dca4bb19966bb00faf14c0d", 2};
constexpr Kind Ended{Level::Information, "c1df8d12c4c54e75b0ee7fc0f1792f1f", 3};
constexpr Kind Stopped{Level::Warning, "51ed63021a944979bb29da65a8198ad8", 4};
constexpr Kind Delivered{Level::Information, "e7fbe7bcc2b343aea384f8ebc109bf07", 5};
constexpr Kind NotDelivered{Level::Error, "16c9db35460c41f29990f52008827e1b", 6};
constexpr Kind ScanDown{Level::Error, "e534d2902eb24da685355612666c0df0", 7};
constexpr Kind ScanBack{Level::Information, "7ddd29d1cd28479db03e9520a6dfe78b", 8};
constexpr Kind RelayDown{Level::Error, "a8d5cd7ddac543739bb6d6941f72d795", 9};
constexpr Kind RelayBack{Level::Information, "afd575fa2eb246d5926f4a60b113f0a3", 10};

LogEntry Entry(const Kind &kind, std::string message, Fields fields)
{
    return {kind.Severity, kind.MessageId, kind.EventId, std::move(message), std::move(fields)};
}

// A reply's or a source's words end in a line break, which a record's sentence does without;
// a relay's can run to 64 KiB, of which a record keeps what a box would show.
std::string Trimmed(std::string words)
{
    words.erase(words.find_last_not_of(" \r\n") + 1);
    return ShownPart(words);
}

Fields MailFields(const std::string &server, const std::string &relay, const std::vector<std::string> &services)
{
    Fields fields{{"BROKER_SERVER", server}, {"SMTP_RELAY", relay}};
    for (const std::string &service : services)
        fields.emplace_back("BROKER_SERVICE", service);
    return fields;
}

} // namespace

LogEntry MonitoringStarted(const std::string &server)
{
    return Entry(Started, "Monitoring of " + server + " started.", {{"BROKER_SERVER", server}});
}

LogEntry MonitoringCancelled(const std::string &server)
{
    return Entry(Cancelled, "Monitoring of " + server + " was cancelled; it stops after the current cycle.",
                 {{"BROKER_SERVER", server}});
}

LogEntry MonitoringEnded(const std::string &server)
{
    return Entry(Ended, "Monitoring of " + server + " ended.", {{"BROKER_SERVER", server}});
}

LogEntry BrokerStopped(const std::string &server, const std::string &service, std::optional<uint32_t> lastPid)
{
    Fields fields{{"BROKER_SERVER", server}, {"BROKER_SERVICE", service}};
    if (!lastPid)
        return Entry(Stopped, "Broker service " + service + " on " + server + " is stopped.", std::move(fields));
    fields.emplace_back("BROKER_PID", std::to_string(*lastPid));
    return Entry(Stopped,
                 "Broker service " + service + " on " + server + " is stopped; it last ran as process " +
                     std::to_string(*lastPid) + ".",
                 std::move(fields));
}

LogEntry MailDelivered(const std::string &server, const std::string &relay, const std::string &topic,
                       const std::vector<std::string> &services, const std::string &reply)
{
    return Entry(Delivered, relay + " accepted the mail " + topic + ": " + Trimmed(reply),
                 MailFields(server, relay, services));
}

LogEntry MailNotDelivered(const std::string &server, const std::string &relay, const std::string &topic,
                          const std::vector<std::string> &services, const std::string &why)
{
    return Entry(NotDelivered, "The mail " + topic + " was not delivered through " + relay + ": " + Trimmed(why),
                 MailFields(server, relay, services));
}

LogEntry ScanOutageBegun(const std::string &server, const std::string &words)
{
    return Entry(ScanDown, "The services of " + server + " cannot be read: " + Trimmed(words),
                 {{"BROKER_SERVER", server}});
}

LogEntry ScanOutageEnded(const std::string &server)
{
    return Entry(ScanBack, "The services of " + server + " can be read; the outage is over.", {{"BROKER_SERVER", server}});
}

LogEntry RelayOutageBegun(const std::string &relay, const std::string &words)
{
    return Entry(RelayDown, "Mail through " + relay + " fails: " + Trimmed(words), {{"SMTP_RELAY", relay}});
}

LogEntry RelayOutageEnded(const std::string &relay)
{
    return Entry(RelayBack, "Mail through " + relay + " is delivered; the outage is over.", {{"SMTP_RELAY", relay}});
}

} // namespace MonitorEvents
