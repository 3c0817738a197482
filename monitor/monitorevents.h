#pragma once

#include "platform/log/systemlog.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

// What the monitor records of its work while nobody watches, one kind of event each, with the
// ids and fields a query selects it by: BROKER_SERVER, BROKER_SERVICE, BROKER_PID, SMTP_RELAY.
namespace MonitorEvents {

constexpr const char *ProgramName = "tarvik-broker-servicecheck";

LogEntry MonitoringStarted(const std::string &server);
LogEntry MonitoringCancelled(const std::string &server);
LogEntry MonitoringEnded(const std::string &server);
// `lastPid`: the process it ran as when it was last seen running, if it was.
LogEntry BrokerStopped(const std::string &server, const std::string &service, std::optional<uint32_t> lastPid);
// `topic` says what the mail asked ("asking to restart ..."); `services` are the brokers it named.
LogEntry MailDelivered(const std::string &server, const std::string &relay, const std::string &topic,
                       const std::vector<std::string> &services, const std::string &reply);
LogEntry MailNotDelivered(const std::string &server, const std::string &relay, const std::string &topic,
                          const std::vector<std::string> &services, const std::string &why);
LogEntry ScanOutageBegun(const std::string &server, const std::string &words);
LogEntry ScanOutageEnded(const std::string &server);
LogEntry RelayOutageBegun(const std::string &relay, const std::string &words);
LogEntry RelayOutageEnded(const std::string &relay);

} // namespace MonitorEvents
