#pragma once

#include <optional>
#include <string>
#include <vector>

// The check's command line, with the options that monitoring plugins share: -H, -t, -w, -c,
// -v, -V and -h, each also in its long form.
namespace CheckOptions {

// The plugin states, by their exit codes.
enum class State { Ok = 0, Warning = 1, Critical = 2, Unknown = 3 };

// As the plugins write it on the status line: "OK", "WARNING", ...
const char *NameOf(State state);

// A plugin threshold, `[@][start:][end]`: an alert outside start..end, or inside it with "@".
// A missing start is 0, a missing end infinity, and a start of "~" minus infinity.
class Range {
public:
    static std::optional<Range> Parse(const std::string &text);
    bool Alerts(double value) const;
    // As it was given, for the performance data.
    const std::string &Text() const { return Given; }

private:
    std::string Given;
    double Start = 0, End = 0;
    bool Inside = false;
};

// What the command line asks for: the usage, the version, or a check.
enum class Asked { Check, Usage, Version };

struct Request {
    Asked What = Asked::Check;
    std::string Server = "localhost";
    int TimeoutSeconds = 30;
    State TimeoutState = State::Unknown;
    // On the number of broker services that should run and do not.
    std::optional<Range> Warning;
    Range Critical = *Range::Parse("0");
    bool Verbose = false;
    std::vector<std::string> Excluded; // patterns of names, with "*" and "?"
    State EmptyState = State::Unknown;
    std::string MetricsFile; // none when empty
};

// True when the command line, its program name left out, holds any of the check's options, so
// that it asks for a check, its usage or its version rather than the window.
bool AsksForCheck(const std::vector<std::string> &arguments);

// The request, or what is wrong with the command line.
std::optional<std::string> Parse(const std::vector<std::string> &arguments, Request &request);

} // namespace CheckOptions
