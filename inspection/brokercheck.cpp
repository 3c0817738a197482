#include "inspection/brokercheck.h"

#include "inspection/brokerreading.h"

#include <algorithm>
#include <charconv>

namespace BrokerCheck {
namespace {

constexpr int Ok = 0;
constexpr int Critical = 2;
constexpr int Unknown = 3;

constexpr const char *Usage =
    "Usage: tarvik-broker-servicecheck --check [SERVER] [--timeout SECONDS]\n"
    "Reads the broker services of SERVER (localhost unless given; user@host:port or a Windows\n"
    "server as the window takes it) once and tells their state as a monitoring plugin does:\n"
    "exit 0 when every broker service runs, 2 when one or more is stopped, 3 when they could\n"
    "not be read within SECONDS (30 unless given).\n";

struct Request {
    std::string Server = "localhost";
    int Seconds = 30;
};

// What is wrong with the command line, if anything.
std::optional<std::string> Parse(const std::vector<std::string> &arguments, Request &request)
{
    bool serverGiven = false;
    for (std::size_t i = 1; i < arguments.size(); ++i) {
        const std::string &argument = arguments[i];
        if (argument == "--timeout" && i + 1 < arguments.size()) {
            const std::string &seconds = arguments[++i];
            const auto [end, error] = std::from_chars(seconds.data(), seconds.data() + seconds.size(), request.Seconds);
            if (error != std::errc() || end != seconds.data() + seconds.size() || request.Seconds < 1 ||
                request.Seconds > 86400)
                return "--timeout takes a number of seconds from 1 to 86400, not \"" + seconds + "\"";
        } else if (argument.starts_with("-") || serverGiven) {
            return "\"" + argument + "\" is no option of --check; see --help";
        } else {
            request.Server = argument;
            serverGiven = true;
        }
    }
    return std::nullopt;
}

// The engines read the first line alone; a source's words may hold a line break.
std::string OneLine(std::string words)
{
    std::replace_if(words.begin(), words.end(), [](char c) { return c == '\r' || c == '\n'; }, ' ');
    return words;
}

int Tell(int status, const std::string &words, std::string &out)
{
    static constexpr const char *States[] = {"OK", "WARNING", "CRITICAL", "UNKNOWN"};
    out = std::string("BROKERS ") + States[status] + " - " + OneLine(words) + "\n";
    return status;
}

// Performance data as the plugin convention writes it, label=value;warn;crit;min: any
// stopped broker is critical.
int TellStates(const std::vector<BrokerService> &brokers, std::string &out)
{
    std::string stopped;
    long running = 0, stopping = 0;
    for (const BrokerService &broker : brokers) {
        running += broker.State == "Running";
        if (broker.State == "Stopped")
            stopped += (stopping++ ? ", " : "") + broker.Name;
    }
    const std::string total = std::to_string(brokers.size());
    const std::string counts = " | running=" + std::to_string(running) + ";;;0 stopped=" + std::to_string(stopping) +
                               ";;0;0 total=" + total + ";;;0";
    if (stopping > 0)
        return Tell(Critical, std::to_string(stopping) + " of " + total + " stopped: " + stopped + counts, out);
    // Nothing stopped where nothing is found, but a server named wrongly should show.
    if (brokers.empty())
        return Tell(Ok, "no broker services" + counts, out);
    return Tell(Ok, std::to_string(running) + " of " + total + " running" + counts, out);
}

} // namespace

bool Asked(const std::vector<std::string> &arguments)
{
    return !arguments.empty() && (arguments[0] == "--check" || arguments[0] == "--help");
}

int Run(const std::vector<std::string> &arguments, std::shared_ptr<ServiceSource> source, Worker &worker,
        const modMsgWaitObj::MessageWaitPlatform &wait, std::string &out)
{
    if (arguments.at(0) == "--help" || std::find(arguments.begin(), arguments.end(), "--help") != arguments.end()) {
        out = Usage;
        return Ok;
    }
    Request request;
    if (const auto wrong = Parse(arguments, request))
        return Tell(Unknown, *wrong, out);
    // An engine kills a check that takes too long, and a killed check says nothing useful.
    const std::optional<BrokerReading> reading =
        ReadBrokersOffThread(std::move(source), request.Server, request.Seconds * 1000, worker, wait);
    if (!reading)
        return Tell(Unknown, "no answer from " + request.Server + " within " + std::to_string(request.Seconds) +
                                 " seconds", out);
    if (reading->Failure)
        return Tell(Unknown, reading->Failure->Source + "-->" + reading->Failure->Description, out);
    return TellStates(reading->Brokers, out);
}

} // namespace BrokerCheck
