#include "inspection/brokermetrics.h"

#include <array>
#include <charconv>
#include <utility>

namespace {

constexpr const char *Prefix = "tarvik_broker_";

// The text format's label values are quoted, with backslash, quote and line feed escaped.
std::string LabelValue(const std::string &text)
{
    std::string quoted = "\"";
    for (const char c : text)
        quoted += c == '\\' ? "\\\\" : c == '"' ? "\\\"" : c == '\n' ? "\\n" : std::string(1, c);
    return quoted + "\"";
}

// Shortest exact text of a number, in no locale's own digits.
std::string Number(double value)
{
    std::array<char, 32> text{};
    const auto end = std::to_chars(text.data(), text.data() + text.size(), value).ptr;
    return std::string(text.data(), end);
}

void AddFamily(std::string &text, const std::string &name, const char *help)
{
    text += "# HELP " + std::string(Prefix) + name + " " + help + "\n# TYPE " + Prefix + name + " gauge\n";
}

void AddSample(std::string &text, const std::string &name, const std::string &labels, double value)
{
    text += Prefix + name + "{" + labels + "} " + Number(value) + "\n";
}

void AddBrokers(std::string &text, const std::string &server, const std::vector<BrokerService> &brokers)
{
    AddFamily(text, "service_up",
              "Whether a broker service runs (1) or not (0), with its state as the report words it.");
    for (const BrokerService &broker : brokers)
        AddSample(text, "service_up",
                  server + ",service=" + LabelValue(broker.Name) + ",state=" + LabelValue(broker.State),
                  broker.State == "Running");
    const BrokerCounts counts = CountBrokers(brokers);
    AddFamily(text, "services",
              "Broker services by how they stand: running, not_running, or disabled on purpose and not running.");
    for (const auto &[status, count] : {std::pair{"running", counts.Running},
                                        std::pair{"not_running", counts.NotRunning},
                                        std::pair{"disabled", counts.SetAside}})
        AddSample(text, "services", server + ",status=\"" + status + "\"", static_cast<double>(count));
}

} // namespace

bool IsSetAside(const BrokerService &broker)
{
    return broker.SetAside && broker.State != "Running";
}

bool IsDown(const BrokerService &broker)
{
    return broker.State != "Running" && !IsSetAside(broker);
}

BrokerCounts CountBrokers(const std::vector<BrokerService> &brokers)
{
    BrokerCounts counts;
    for (const BrokerService &broker : brokers) {
        counts.Running += broker.State == "Running";
        counts.SetAside += IsSetAside(broker);
        counts.NotRunning += IsDown(broker);
        counts.Stopped += IsDown(broker) && broker.State == "Stopped";
    }
    counts.Total = static_cast<long>(brokers.size());
    return counts;
}

std::string PrometheusText(const MetricsScan &scan)
{
    const std::string server = "server=" + LabelValue(scan.Server);
    std::string text;
    if (scan.Brokers)
        AddBrokers(text, server, *scan.Brokers);
    AddFamily(text, "scan_success", "Whether the last scan read the server's broker services (1) or not (0).");
    AddSample(text, "scan_success", server, scan.Brokers.has_value());
    AddFamily(text, "scan_duration_seconds", "How long the last scan took.");
    AddSample(text, "scan_duration_seconds", server, scan.Duration.count() / 1000.0);
    AddFamily(text, "scan_timestamp_seconds", "When the last scan ended, in seconds since 1970.");
    const auto endedAt = std::chrono::duration_cast<std::chrono::milliseconds>(scan.EndedAt.time_since_epoch());
    AddSample(text, "scan_timestamp_seconds", server, endedAt.count() / 1000.0);
    return text;
}
