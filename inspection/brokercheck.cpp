#include "inspection/brokercheck.h"

#include "inspection/brokerreading.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <string_view>

namespace BrokerCheck {
namespace {

constexpr int Ok = 0;
constexpr int Critical = 2;
constexpr int Unknown = 3;

constexpr const char *Usage =
    "Usage: tarvik-broker-servicecheck --check [SERVER] [--timeout SECONDS]\n"
    "Reads the broker services of SERVER (localhost unless given; user@host:port or a Windows\n"
    "server as the window takes it) once and tells their state as a monitoring plugin does:\n"
    "exit 0 when every broker service runs, 2 when one or more does not, 3 when they could\n"
    "not be read within SECONDS (30 unless given).\n";

// Any of these, wherever it stands, asks for the check rather than the window.
constexpr std::array<std::string_view, 4> Options{"--check", "--timeout", "--help", "-h"};

bool IsHelp(const std::string &argument)
{
    return argument == "--help" || argument == "-h";
}

struct Request {
    std::string Server = "localhost";
    int Seconds = 30;
};

// What is wrong with the command line, if anything.
std::optional<std::string> Parse(const std::vector<std::string> &arguments, Request &request)
{
    bool serverGiven = false;
    for (std::size_t i = 0; i < arguments.size(); ++i) {
        const std::string &argument = arguments[i];
        if (argument == "--check")
            continue;
        if (argument == "--timeout" && i + 1 == arguments.size())
            return "--timeout needs a number of seconds";
        if (argument == "--timeout") {
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
    // As the window says it: there is no server to read.
    if (request.Server.empty())
        return "Fill in the name to the server to monitor";
    return std::nullopt;
}

// Engines read the first line alone, and take a "|" in it for the start of the performance
// data; a source's words or a service's name may hold either.
int WriteStatusLine(int status, std::string words, std::string &out, const std::string &performance = {})
{
    static constexpr const char *States[] = {"OK", "WARNING", "CRITICAL", "UNKNOWN"};
    std::replace_if(words.begin(), words.end(), [](char c) { return c == '\r' || c == '\n' || c == '|'; }, ' ');
    out = std::string("BROKERS ") + States[status] + " - " + words + performance + "\n";
    return status;
}

// A broker that does not run is critical, stopped or stuck between states; engines cut a
// long line, so only the first of many are named.
int WriteBrokerStates(const std::vector<BrokerService> &brokers, std::string &out)
{
    constexpr long Named = 20;
    std::string down;
    long running = 0, stopped = 0, notRunning = 0;
    for (const BrokerService &broker : brokers) {
        running += broker.State == "Running";
        stopped += broker.State == "Stopped";
        if (broker.State != "Running" && notRunning++ < Named)
            down += (notRunning > 1 ? ", " : "") + broker.Name +
                    (broker.State == "Stopped" ? "" : " (" + broker.State + ")");
    }
    if (notRunning > Named)
        down += " and " + std::to_string(notRunning - Named) + " more";
    const std::string total = std::to_string(brokers.size());
    // As the plugin convention writes it, label=value;warn;crit;min: "0" is critical above 0.
    const std::string performance = " | running=" + std::to_string(running) + ";;;0 stopped=" +
                                    std::to_string(stopped) + ";;0;0 total=" + total + ";;;0";
    const char *how = notRunning == stopped ? " stopped: " : " not running: ";
    if (notRunning > 0)
        return WriteStatusLine(Critical, std::to_string(notRunning) + " of " + total + how + down, out, performance);
    // Nothing is down where nothing is found, but a server named wrongly should show.
    if (brokers.empty())
        return WriteStatusLine(Ok, "no broker services", out, performance);
    return WriteStatusLine(Ok, std::to_string(running) + " of " + total + " running", out, performance);
}

} // namespace

bool Asked(const std::vector<std::string> &arguments)
{
    return std::any_of(arguments.begin(), arguments.end(), [](const std::string &argument) {
        return std::find(Options.begin(), Options.end(), argument) != Options.end();
    });
}

int Run(const std::vector<std::string> &arguments, std::shared_ptr<ServiceSource> source, Worker &worker,
        const modMsgWaitObj::MessageWaitPlatform &wait, std::string &out)
{
    // As plugins do, the usage is no state of anything: UNKNOWN.
    if (std::any_of(arguments.begin(), arguments.end(), IsHelp)) {
        out = Usage;
        return Unknown;
    }
    Request request;
    if (const auto wrong = Parse(arguments, request))
        return WriteStatusLine(Unknown, *wrong, out);
    // An engine kills a check that takes too long, and a killed check says nothing useful.
    const std::optional<BrokerReading> reading =
        ReadBrokersOffThread(std::move(source), request.Server, request.Seconds * 1000, worker, wait);
    if (!reading)
        return WriteStatusLine(
            Unknown, "no answer from " + request.Server + " within " + std::to_string(request.Seconds) + " seconds", out);
    if (reading->Failure)
        return WriteStatusLine(Unknown, reading->Failure->Source + "-->" + reading->Failure->Description, out);
    return WriteBrokerStates(reading->Brokers, out);
}

} // namespace BrokerCheck
