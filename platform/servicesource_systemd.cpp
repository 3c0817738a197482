#include "platform/servicesource_systemd.h"

#include <set>
#include <string_view>
#include <vector>

#include "platform/managerbus_systemd.h"
#include "platform/pipelinedreads_systemd.h"

namespace {

constexpr const char *Destination = "org.freedesktop.systemd1";
constexpr const char *ManagerPath = "/org/freedesktop/systemd1";
constexpr const char *ManagerInterface = "org.freedesktop.systemd1.Manager";
constexpr const char *UnitPathPrefix = "/org/freedesktop/systemd1/unit";
constexpr const char *UnitInterface = "org.freedesktop.systemd1.Unit";
constexpr const char *ServiceInterface = "org.freedesktop.systemd1.Service";
constexpr std::string_view ServiceSuffix = ".service";
constexpr std::string_view MonikerPrefix = "winmgmts:{impersonationLevel=impersonate}!//";

// Calls one of the manager's By-Patterns listings, which filter by name before they look at
// any unit file (a full listing of 1,000 unit files takes the manager seconds), and hands
// each element of the reply to `take`, which returns what sd_bus_message_read returned.
template <typename Take>
std::optional<SourceFailure> ListByPattern(sd_bus *bus, const char *method, const std::string &pattern,
                                           const char *element, Take take)
{
    BusError error;
    sd_bus_message *raw = nullptr;
    int r = sd_bus_call_method(bus, Destination, ManagerPath, ManagerInterface, method, error.Get(), &raw,
                               "asas", 0, 1, pattern.c_str());
    const MessagePtr reply(raw);
    if (r >= 0)
        r = sd_bus_message_enter_container(raw, 'a', element);
    while (r > 0)
        r = take(raw);
    if (r < 0)
        return FailureOf(method, r, error);
    return std::nullopt;
}

// A name that another unit merely refers to is loaded as not-found; nothing is installed
// under it unless it still runs.
bool IsInstalled(std::string_view loadState, std::string_view activeState)
{
    return loadState != "not-found" || activeState != "inactive";
}

std::vector<std::string> ServiceNames(const std::vector<std::string> &units)
{
    std::vector<std::string> names;
    std::set<std::string> seen;
    for (const std::string &unit : units) {
        // A template ("name@.service") is no service of its own, only its instances are.
        if (!unit.ends_with(ServiceSuffix) || unit.ends_with("@" + std::string(ServiceSuffix))
            || !seen.insert(unit).second)
            continue;
        names.push_back(unit.substr(0, unit.size() - ServiceSuffix.size()));
    }
    return names;
}

// Loaded units come first, in the manager's order, then those only installed as files.
std::optional<SourceFailure> ListServices(sd_bus *bus, const std::string &pattern, std::vector<std::string> &names)
{
    std::vector<std::string> units;
    auto failure = ListByPattern(bus, "ListUnitsByPatterns", pattern, "(ssssssouso)", [&](sd_bus_message *m) {
        const char *name = nullptr, *loadState = nullptr, *activeState = nullptr;
        const int r = sd_bus_message_read(m, "(ssssssouso)", &name, nullptr, &loadState, &activeState, nullptr,
                                          nullptr, nullptr, nullptr, nullptr, nullptr);
        if (r > 0 && IsInstalled(loadState, activeState))
            units.emplace_back(name);
        return r;
    });
    if (!failure)
        failure = ListByPattern(bus, "ListUnitFilesByPatterns", pattern, "(ss)", [&](sd_bus_message *m) {
            const char *path = nullptr, *state = nullptr;
            const int r = sd_bus_message_read(m, "(ss)", &path, &state);
            // An alias is listed again under the name of the unit it points to.
            if (r > 0 && std::string_view(state) != "alias")
                units.emplace_back(std::string_view(path).substr(std::string_view(path).rfind('/') + 1));
            return r;
        });
    if (failure)
        return failure;
    names = ServiceNames(units);
    return std::nullopt;
}

std::string StateOf(std::string_view activeState)
{
    if (activeState == "active" || activeState == "reloading")
        return "Running";
    if (activeState == "inactive" || activeState == "failed")
        return "Stopped";
    if (activeState == "activating")
        return "Start Pending";
    if (activeState == "deactivating")
        return "Stop Pending";
    return "Unknown";
}

// The properties of one service, in the order they are read.
enum Property { MainPID, Type, ActiveState, PropertiesPerService };

// A unit's own object path loads a unit that is installed but not loaded, so one path
// serves every listed service.
std::optional<SourceFailure> PropertiesOf(const std::vector<std::string> &names,
                                          std::vector<PipelinedReads::Property> &properties)
{
    for (const std::string &name : names) {
        char *rawPath = nullptr;
        const std::string unit = name + std::string(ServiceSuffix);
        const int r = sd_bus_path_encode(UnitPathPrefix, unit.c_str(), &rawPath);
        const CStringPtr path(rawPath);
        if (r < 0)
            return FailureOf("sd_bus_path_encode", r, BusError{});
        properties.push_back({path.get(), ServiceInterface, "MainPID"});
        properties.push_back({path.get(), ServiceInterface, "Type"});
        properties.push_back({path.get(), UnitInterface, "ActiveState"});
    }
    return std::nullopt;
}

class SystemdServiceCollection : public ServiceCollection {
public:
    SystemdServiceCollection(std::unique_ptr<ManagerConnection> connection, std::vector<std::string> names,
                             const std::vector<PipelinedReads::Property> &properties)
        : Names(std::move(names)), Reads(connection->Get(), properties), Connection(std::move(connection))
    {
    }

    std::size_t Count() const override { return Names.size(); }
    const std::string &Name(std::size_t index) const override { return Names.at(index); }
    std::optional<SourceFailure> Read(std::size_t index, BrokerService &service) override;

private:
    std::vector<std::string> Names;
    PipelinedReads Reads;
    // Declared last, so that the connection and the reads still pending on it go first.
    std::unique_ptr<ManagerConnection> Connection;
};

// The reads of every listed service are on their way with the first of them, whichever
// service is read first.
std::optional<SourceFailure> SystemdServiceCollection::Read(std::size_t index, BrokerService &service)
{
    BrokerService read;
    read.Name = Names.at(index);
    std::string activeState;
    const std::size_t first = index * PropertiesPerService;
    auto failure = Reads.Value(first + MainPID, read.ProcessID);
    if (!failure)
        failure = Reads.Value(first + Type, read.ServiceType);
    if (!failure)
        failure = Reads.Value(first + ActiveState, activeState);
    if (failure)
        return Connection->Explained(*failure);
    read.State = StateOf(activeState);
    service = std::move(read);
    return std::nullopt;
}

} // namespace

SystemdServiceSource::SystemdServiceSource(std::chrono::milliseconds timeout)
    : Timeout(timeout)
{
}

std::optional<SourceFailure> SystemdServiceSource::InstancesOf(const std::string &moniker,
                                                               const std::string &className,
                                                               const std::string &namePattern,
                                                               std::unique_ptr<ServiceCollection> &instances)
{
    if (!moniker.starts_with(MonikerPrefix) || className != "Win32_Service")
        return SourceFailure{"SystemdServiceSource",
                             "Only Win32_Service instances of a \"" + std::string(MonikerPrefix)
                                 + "server\" moniker can be listed."};
    ServerTarget target;
    std::unique_ptr<ManagerConnection> connection;
    std::vector<std::string> names;
    std::vector<PipelinedReads::Property> properties;
    auto failure = ParseServerTarget(moniker.substr(MonikerPrefix.size()), target);
    if (!failure)
        failure = ConnectManager(target, Timeout, connection);
    if (failure)
        return failure;
    failure = ListServices(connection->Get(), namePattern + std::string(ServiceSuffix), names);
    if (!failure)
        failure = PropertiesOf(names, properties);
    if (failure)
        return connection->Explained(*failure);
    instances = std::make_unique<SystemdServiceCollection>(std::move(connection), std::move(names), properties);
    return std::nullopt;
}
