#include "inspection/checkoptions.h"

#include "inspection/brokerreading.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <limits>
#include <string_view>

namespace CheckOptions {
namespace {

constexpr double Infinity = std::numeric_limits<double>::infinity();

enum class Id { Check, Hostname, Timeout, Warning, Critical, Version, Help, Verbose, Exclude, EmptyState, Metrics };

struct Option {
    Id Which;
    std::string_view Short, Long;
    bool TakesValue;
};

constexpr Option Options[] = {
    {Id::Check, "", "--check", false},          {Id::Hostname, "-H", "--hostname", true},
    {Id::Timeout, "-t", "--timeout", true},     {Id::Warning, "-w", "--warning", true},
    {Id::Critical, "-c", "--critical", true},   {Id::Version, "-V", "--version", false},
    {Id::Help, "-h", "--help", false},          {Id::Verbose, "-v", "--verbose", false},
    {Id::Exclude, "-x", "--exclude", true},     {Id::EmptyState, "", "--empty-state", true},
    {Id::Metrics, "", "--metrics", true},
};

// An option as it stands on the command line, with the value it carries itself, as getopt
// takes them: "--timeout=9", "-t9", and "-vvv" for a repeated switch.
struct Given {
    const Option *Which = nullptr;
    std::string Name;
    std::optional<std::string> Value;
};

std::optional<Given> Recognise(const std::string &argument)
{
    for (const Option &option : Options) {
        if (argument.starts_with("--")) {
            const auto equals = argument.find('=');
            if (argument.substr(0, equals) == option.Long)
                return Given{&option, std::string(option.Long),
                             equals == std::string::npos ? std::nullopt : std::optional(argument.substr(equals + 1))};
        } else if (!option.Short.empty() && argument.starts_with(option.Short)) {
            const std::string rest = argument.substr(option.Short.size());
            if (rest.empty() || option.TakesValue)
                return Given{&option, std::string(option.Short), rest.empty() ? std::nullopt : std::optional(rest)};
            if (option.Which == Id::Verbose && rest.find_first_not_of('v') == std::string::npos)
                return Given{&option, std::string(option.Short), std::nullopt};
        }
    }
    return std::nullopt;
}

template <typename Number>
std::optional<Number> NumberOf(std::string_view text)
{
    Number number{};
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), number);
    if (error != std::errc() || end != text.data() + text.size())
        return std::nullopt;
    return number;
}

std::optional<double> FiniteNumberOf(std::string_view text)
{
    const auto number = NumberOf<double>(text);
    return number && std::isfinite(*number) ? number : std::nullopt;
}

// As the plugins' own tools take a state: its name in any letter case, or its exit code.
std::optional<State> StateOf(std::string_view text)
{
    for (const State state : {State::Ok, State::Warning, State::Critical, State::Unknown}) {
        const bool byCode = text.size() == 1 && text[0] == '0' + static_cast<int>(state);
        if (byCode || UpperCased(std::string(text)) == NameOf(state))
            return state;
    }
    return std::nullopt;
}

constexpr const char *States = "OK, WARNING, CRITICAL or UNKNOWN";

std::optional<std::string> ParseTimeout(const std::string &name, const std::string &value, Request &request)
{
    const auto colon = value.find(':');
    const auto seconds = NumberOf<int>(std::string_view(value).substr(0, colon));
    const auto state = colon == std::string::npos ? State::Unknown : StateOf(std::string_view(value).substr(colon + 1));
    if (!seconds || *seconds < 1 || *seconds > 86400 || !state)
        return name + " takes SECONDS[:STATE], seconds from 1 to 86400 and a state of " + States + ", not \"" +
               value + "\"";
    request.TimeoutSeconds = *seconds;
    request.TimeoutState = *state;
    return std::nullopt;
}

std::optional<std::string> ParseRange(const std::string &name, const std::string &value, std::optional<Range> &range)
{
    range = Range::Parse(value);
    if (!range)
        return name + " takes a range [@][START:][END] such as 2, 1:, ~:3 or @1:2, not \"" + value + "\"";
    return std::nullopt;
}

std::optional<std::string> TakeServer(const std::string &server, Request &request, bool &serverGiven)
{
    if (serverGiven)
        return "the server is given twice: \"" + request.Server + "\" and \"" + server + "\"";
    request.Server = server;
    serverGiven = true;
    return std::nullopt;
}

std::optional<std::string> Apply(const Given &given, const std::string &value, Request &request, bool &serverGiven)
{
    switch (given.Which->Which) {
    case Id::Hostname:
        return TakeServer(value, request, serverGiven);
    case Id::Timeout:
        return ParseTimeout(given.Name, value, request);
    case Id::Warning:
        return ParseRange(given.Name, value, request.Warning);
    case Id::Critical: {
        std::optional<Range> critical;
        if (auto wrong = ParseRange(given.Name, value, critical))
            return wrong;
        request.Critical = *critical;
        return std::nullopt;
    }
    case Id::Exclude:
        if (value.empty())
            return given.Name + " takes a pattern of service names, not an empty one";
        request.Excluded.push_back(value);
        return std::nullopt;
    case Id::EmptyState: {
        const auto state = StateOf(value);
        if (!state)
            return given.Name + " takes " + States + ", not \"" + value + "\"";
        request.EmptyState = *state;
        return std::nullopt;
    }
    case Id::Metrics:
        if (value.empty())
            return given.Name + " takes the name of a file, not an empty one";
        request.MetricsFile = value;
        return std::nullopt;
    case Id::Verbose:
        request.Verbose = true;
        return std::nullopt;
    case Id::Help:
        request.What = Asked::Usage;
        return std::nullopt;
    case Id::Version:
        if (request.What != Asked::Usage)
            request.What = Asked::Version;
        return std::nullopt;
    case Id::Check:
        return std::nullopt;
    }
    return std::nullopt;
}

// Takes the argument at `i`, and the value after it when it is the option's.
std::optional<std::string> TakeArgument(const std::vector<std::string> &arguments, std::size_t &i, Request &request,
                                        bool &serverGiven)
{
    const std::string &argument = arguments[i];
    const auto given = Recognise(argument);
    // The server may stand alone, as it did before -H.
    if (!given && !argument.starts_with("-"))
        return TakeServer(argument, request, serverGiven);
    if (!given)
        return "\"" + argument + "\" is no option of --check; see --help";
    if (given->Value && !given->Which->TakesValue)
        return given->Name + " takes no value";
    if (given->Which->TakesValue && !given->Value && i + 1 == arguments.size())
        return given->Name + " needs a value; see --help";
    const std::string value = given->Value ? *given->Value : given->Which->TakesValue ? arguments[++i] : "";
    return Apply(*given, value, request, serverGiven);
}

} // namespace

const char *NameOf(State state)
{
    static constexpr const char *Names[] = {"OK", "WARNING", "CRITICAL", "UNKNOWN"};
    return Names[static_cast<int>(state)];
}

std::optional<Range> Range::Parse(const std::string &text)
{
    Range range;
    range.Given = text;
    std::string_view rest = text;
    range.Inside = rest.starts_with('@');
    if (range.Inside)
        rest.remove_prefix(1);
    const auto colon = rest.find(':');
    std::optional<double> start = 0.0, end;
    if (colon == std::string_view::npos) {
        end = FiniteNumberOf(rest);
    } else {
        const std::string_view first = rest.substr(0, colon), last = rest.substr(colon + 1);
        start = first == "~" ? -Infinity : first.empty() ? 0.0 : FiniteNumberOf(first);
        end = last.empty() ? Infinity : FiniteNumberOf(last);
    }
    if (!start || !end || *start > *end)
        return std::nullopt;
    range.Start = *start;
    range.End = *end;
    return range;
}

bool Range::Alerts(double value) const
{
    const bool within = value >= Start && value <= End;
    return Inside ? within : !within;
}

bool AsksForCheck(const std::vector<std::string> &arguments)
{
    // A short option with its value joined to it only when the value is one the option takes:
    // Qt's own options ("-title", "-cmap", "-widgetcount") begin as some of ours do.
    return std::any_of(arguments.begin(), arguments.end(), [](const std::string &argument) {
        const auto given = Recognise(argument);
        Request scratch;
        bool serverGiven = false;
        return given && (argument.starts_with("--") || !given->Value ||
                         !Apply(*given, *given->Value, scratch, serverGiven));
    });
}

std::optional<std::string> Parse(const std::vector<std::string> &arguments, Request &request)
{
    bool serverGiven = false;
    std::optional<std::string> wrong;
    for (std::size_t i = 0; i < arguments.size(); ++i) {
        auto problem = TakeArgument(arguments, i, request, serverGiven);
        if (!wrong)
            wrong = std::move(problem);
    }
    // As plugins do, the usage or the version wherever it is asked for, whatever else is wrong.
    if (request.What != Asked::Check)
        return std::nullopt;
    // As the window says it: there is no server to read.
    if (!wrong && request.Server.empty())
        wrong = "Fill in the name to the server to monitor";
    return wrong;
}

} // namespace CheckOptions
