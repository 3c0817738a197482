#pragma once

#include "platform/events/worker.h"
#include "platform/services/servicesource.h"
#include "util/modmsgwaitobj.h"

#include <memory>
#include <optional>
#include <string>
#include <vector>

// What was read of a server's broker services, in the source's order, and where it stopped.
struct BrokerReading {
    std::vector<BrokerService> Brokers;
    std::string FailedBroker; // whose read failed, if one did
    std::optional<SourceFailure> Failure;
};

// `text` with the letters a to z upper-cased. No character outside ASCII upper-cases to a
// letter of "BROKER" or "LOG", so this decides the name test as a full upper-casing would.
std::string UpperCased(std::string text);

// The name test: "broker" in any letter case, but neither "log" nor one of the services that
// `system` gives names of its own.
bool IsBrokerName(const std::string &name, ServiceSystem system);

// Whether `name` matches `pattern`, where "*" stands for any text and "?" for any one
// character, with the letters a to z in either case, as the name test takes them.
bool MatchesNamePattern(const std::string &name, const std::string &pattern);

// Lists the services of `server` and reads the brokers among them on the worker, while the
// caller's messages are pumped, for at most `limitMs` (-1: no limit). Nothing when the wait
// ended first, because the limit passed or the program is ending: the reading then goes on
// unobserved, and owns all it uses.
std::optional<BrokerReading> ReadBrokersOffThread(std::shared_ptr<ServiceSource> source, const std::string &server,
                                                  int32_t limitMs, Worker &worker,
                                                  const modMsgWaitObj::MessageWaitPlatform &wait);
