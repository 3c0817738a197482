#pragma once

#include "platform/services/servicesource.h"

#include <chrono>
#include <optional>
#include <string>
#include <vector>

// How a server's broker services stand, as the check and the metrics count them. A broker set
// aside on purpose that does not run is not down: nobody is to start it.
struct BrokerCounts {
    long Running = 0;
    long NotRunning = 0; // stopped or between states, and not set aside
    long Stopped = 0;    // of those not running
    long SetAside = 0;
    long Total = 0;
};

bool IsSetAside(const BrokerService &broker);
// Stopped or between states, and not set aside: somebody is to start it.
bool IsDown(const BrokerService &broker);
BrokerCounts CountBrokers(const std::vector<BrokerService> &brokers);

// One scan of one server, as the textfile collectors of Prometheus' exporters read it: each
// broker's state, the counts, and whether, when and how fast the server was read. `brokers`
// is none when the scan failed.
struct MetricsScan {
    std::string Server;
    std::optional<std::vector<BrokerService>> Brokers;
    std::chrono::milliseconds Duration;
    std::chrono::system_clock::time_point EndedAt;
};

std::string PrometheusText(const MetricsScan &scan);
