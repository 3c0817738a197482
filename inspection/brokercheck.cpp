#include "inspection/brokercheck.h"

#include "inspection/brokermetrics.h"
#include "inspection/brokerreading.h"
#include "inspection/checkoptions.h"
#include "util/wholefile.h"

#include <algorithm>
#include <chrono>
#include <functional>

namespace BrokerCheck {
namespace {

using CheckOptions::State;

constexpr const char *Usage =
    "Usage: tarvik-broker-servicecheck --check [-H SERVER] [-w RANGE] [-c RANGE] [-t SECONDS[:STATE]]\n"
    "           [-x PATTERN]... [--empty-state STATE] [--metrics FILE] [-v]\n"
    "       tarvik-broker-servicecheck -V | -h\n"
    "Reads the broker services of SERVER once and tells how they stand, as a monitoring plugin does.\n"
    "  -H, --hostname SERVER    localhost unless given; user@host:port over ssh, or a Windows server,\n"
    "                           as the window takes it. SERVER may also stand alone.\n"
    "  -w, --warning RANGE      WARNING, or CRITICAL, when the number of broker services not running\n"
    "  -c, --critical RANGE     is outside RANGE, or inside it with \"@\": [@][START:][END], with \"~\"\n"
    "                           for minus infinity. No warning unless given; CRITICAL when any one\n"
    "                           is not running (-c 0) unless given.\n"
    "  -t, --timeout SECONDS[:STATE]\n"
    "                           gives up after SECONDS (30 unless given) with STATE (UNKNOWN unless\n"
    "                           given): OK, WARNING, CRITICAL or UNKNOWN.\n"
    "  -x, --exclude PATTERN    leaves out the services whose names match PATTERN, with \"*\" and \"?\",\n"
    "                           in any letter case; may be given again.\n"
    "      --empty-state STATE  what a server without broker services answers (UNKNOWN unless given).\n"
    "      --metrics FILE       also writes the reading to FILE as Prometheus metrics.\n"
    "  -v, --verbose            one line for each broker service after the status line.\n"
    "  -V, --version            the version.\n"
    "  -h, --help               this text.\n"
    "A broker service set aside on purpose (disabled on Windows, masked on systemd) is not counted\n"
    "as not running. Exit codes: 0 OK, 1 WARNING, 2 CRITICAL, 3 UNKNOWN.\n";

// Engines keep at most this much of a check's output, and cut the rest where it falls.
constexpr std::size_t OutputLimit = 8192;
// A status line names no more brokers than these, in no more bytes, for each of its lists, so
// that the long output keeps its room.
constexpr long Named = 20;
constexpr std::size_t NamedBytes = 2048;

// Engines read the first line alone, and take a "|" in it for the start of the performance
// data; a source's words or a service's name may hold either.
std::string OneLine(std::string words)
{
    std::replace_if(words.begin(), words.end(), [](char c) { return c == '\r' || c == '\n' || c == '|'; }, ' ');
    return words;
}

int WriteStatusLine(State state, const std::string &words, std::string &out, const std::string &performance = {})
{
    out = std::string("BROKERS ") + CheckOptions::NameOf(state) + " - " + OneLine(words) + performance + "\n";
    return static_cast<int>(state);
}

// The first of the brokers that `picked` picks, by name, with what `told` adds to each.
std::string Names(const std::vector<BrokerService> &brokers, const std::function<bool(const BrokerService &)> &picked,
                  const std::function<std::string(const BrokerService &)> &told = {})
{
    std::string names;
    const long count = std::count_if(brokers.begin(), brokers.end(), picked);
    long named = 0;
    for (const BrokerService &broker : brokers) {
        if (named == Named || names.size() >= NamedBytes)
            break;
        if (picked(broker))
            names += (named++ > 0 ? ", " : "") + broker.Name + (told ? told(broker) : "");
    }
    return count > named ? names + " and " + std::to_string(count - named) + " more" : names;
}

// As the plugin guidelines write it: 'label'=value;warn;crit;min;max.
std::string PerformanceData(const BrokerCounts &counts, const CheckOptions::Request &request)
{
    const std::string max = std::to_string(counts.Total);
    const auto figure = [&max](const char *label, long value, const std::string &thresholds = ";") {
        return std::string(" ") + label + "=" + std::to_string(value) + ";" + thresholds + ";0;" + max;
    };
    return " |" + figure("running", counts.Running) +
           figure("not_running", counts.NotRunning,
                  (request.Warning ? request.Warning->Text() : "") + ";" + request.Critical.Text()) +
           figure("stopped", counts.Stopped) + figure("disabled", counts.SetAside) + figure("total", counts.Total);
}

std::string Words(const std::vector<BrokerService> &brokers, const BrokerCounts &counts)
{
    const std::string total = std::to_string(counts.Total);
    std::string words =
        counts.NotRunning == 0
            ? std::to_string(counts.Running) + " of " + total + " running"
            : std::to_string(counts.NotRunning) + " of " + total +
                  (counts.NotRunning == counts.Stopped ? " stopped: " : " not running: ") +
                  Names(brokers, IsDown, [](const BrokerService &broker) {
                      return broker.State == "Stopped" ? std::string() : " (" + broker.State + ")";
                  });
    if (counts.SetAside > 0)
        words += "; " + std::to_string(counts.SetAside) + " set aside: " + Names(brokers, IsSetAside);
    return words;
}

// The engines' long output: a line for each broker, as many as the output has room for.
std::string LongOutput(const std::vector<BrokerService> &brokers, std::size_t room)
{
    constexpr std::size_t TailRoom = 40; // "... and N more"
    std::string lines;
    for (std::size_t i = 0; i < brokers.size(); ++i) {
        const BrokerService &broker = brokers[i];
        const std::string line =
            OneLine(broker.Name + ": " + broker.State +
                    (broker.ProcessID ? ", process " + std::to_string(broker.ProcessID) : std::string()) +
                    (IsSetAside(broker) ? ", set aside" : "")) + "\n";
        const bool last = i + 1 == brokers.size();
        if (lines.size() + line.size() + (last ? 0 : TailRoom) > room)
            return lines + "... and " + std::to_string(brokers.size() - i) + " more\n";
        lines += line;
    }
    return lines;
}

State StateOf(const BrokerCounts &counts, const CheckOptions::Request &request)
{
    if (request.Critical.Alerts(static_cast<double>(counts.NotRunning)))
        return State::Critical;
    if (request.Warning && request.Warning->Alerts(static_cast<double>(counts.NotRunning)))
        return State::Warning;
    return State::Ok;
}

int WriteBrokerStates(const std::vector<BrokerService> &brokers, std::size_t excluded,
                      const CheckOptions::Request &request, std::string &out)
{
    const BrokerCounts counts = CountBrokers(brokers);
    const std::string performance = PerformanceData(counts, request);
    // A misnamed server, or one where the brokers are not installed, has nothing down, and
    // should not look as if all were well.
    if (brokers.empty())
        return WriteStatusLine(request.EmptyState,
                               "no broker services on " + request.Server +
                                   (excluded ? " but the " + std::to_string(excluded) + " left out" : ""),
                               out, performance);
    const int status = WriteStatusLine(StateOf(counts, request), Words(brokers, counts), out, performance);
    if (request.Verbose)
        out += LongOutput(brokers, OutputLimit - 1 - out.size());
    return status;
}

// The brokers that no pattern of the request leaves out; how many were.
std::size_t LeaveOut(std::vector<BrokerService> &brokers, const std::vector<std::string> &patterns)
{
    return std::erase_if(brokers, [&patterns](const BrokerService &broker) {
        return std::any_of(patterns.begin(), patterns.end(),
                           [&broker](const std::string &pattern) { return MatchesNamePattern(broker.Name, pattern); });
    });
}

// The reading, told as a check; the brokers it found, when it found them.
int Tell(const std::optional<BrokerReading> &reading, const CheckOptions::Request &request, std::string &out,
         std::optional<std::vector<BrokerService>> &brokers)
{
    // An engine kills a check that takes too long, and a killed check says nothing useful.
    if (!reading)
        return WriteStatusLine(request.TimeoutState,
                               "no answer from " + request.Server + " within " +
                                   std::to_string(request.TimeoutSeconds) + " seconds",
                               out);
    if (reading->Failure)
        return WriteStatusLine(State::Unknown, reading->Failure->Source + "-->" + reading->Failure->Description, out);
    brokers = reading->Brokers;
    const std::size_t excluded = LeaveOut(*brokers, request.Excluded);
    return WriteBrokerStates(*brokers, excluded, request, out);
}

} // namespace

bool Asked(const std::vector<std::string> &arguments)
{
    return CheckOptions::AsksForCheck(arguments);
}

int Run(const std::vector<std::string> &arguments, std::shared_ptr<ServiceSource> source, Worker &worker,
        const modMsgWaitObj::MessageWaitPlatform &wait, std::string &out)
{
    CheckOptions::Request request;
    if (const auto wrong = CheckOptions::Parse(arguments, request))
        return WriteStatusLine(State::Unknown, *wrong, out);
    // As plugins do, the usage and the version are no state of anything: UNKNOWN.
    if (request.What != CheckOptions::Asked::Check) {
        out = request.What == CheckOptions::Asked::Usage ? Usage : "tarvik-broker-servicecheck " PROGRAM_VERSION "\n";
        return static_cast<int>(State::Unknown);
    }
    const uint32_t start = wait.Ticks.GetTickCount();
    const std::optional<BrokerReading> reading =
        ReadBrokersOffThread(std::move(source), request.Server, request.TimeoutSeconds * 1000, worker, wait);
    const std::chrono::milliseconds took(uint32_t(wait.Ticks.GetTickCount() - start));
    MetricsScan scan{request.Server, std::nullopt, took, std::chrono::system_clock::now()};
    const int status = Tell(reading, request, out, scan.Brokers);
    if (request.MetricsFile.empty())
        return status;
    // Metrics that were not written are a failure of what was asked, whatever the brokers do.
    if (const auto wrong = WriteWholeFile(request.MetricsFile, PrometheusText(scan)))
        return WriteStatusLine(State::Unknown,
                               "the metrics could not be written to " + request.MetricsFile + ": " + *wrong, out);
    return status;
}

} // namespace BrokerCheck
