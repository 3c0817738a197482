#include "platform/services/servicesource_systemd.h"

#include <set>
#include <string_view>
#include <vector>

#include "platform/services/managerbus_systemd.h"
#include "platform/services/pipelinedreads_systemd.h"

namespace {

constexpr std::string_view ServiceSuffix = ".service";

// Calls one of the manager's By-Patterns listings, which filter by name before they look at
// any unit file (a full listing of 1,000 unit files takes the manager seconds), and hands
// each element of the reply to `take`, which returns what sd_bus_message_read returned.
template <typename Take>
std::optional<SourceFailure> ListByPattern(sd_bus *bus, const char *method, const std::string &pattern,
                                           const char *element, Take take)
{
    BusError error;
    sd_bus_message *raw = nullptr;
    int r = sd_bus_call_method(bus, ManagerBus::Destination, ManagerBus::ManagerPath, ManagerBus::ManagerInterface,
                               method, error.Get(), &raw, "asas", 0, 1, pattern.c_str());
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

// A unit as the listings give it. A unit that the manager has not loaded runs no process and
// has no state but inactive, so only a loaded one has its state in the listing.
struct ListedUnit {
    std::string Name;
    bool Loaded = false;
    std::string ActiveState = "inactive";
    bool Masked = false;
    std::size_t FirstRead = 0; // of its properties, as PropertiesOf lays them out

    // The state is the listing's, so a process is read only where the listing saw one may run:
    // a unit started between the two would otherwise be told stopped with its new process, and
    // taken for a new stop.
    bool MayRunAProcess() const { return Loaded && ActiveState != "inactive" && ActiveState != "failed"; }
};

// Each service once, as it was first listed: a loaded unit's entry, which has its state,
// comes before its file's.
std::vector<ListedUnit> DistinctServicesWithoutTemplates(std::vector<ListedUnit> units)
{
    std::vector<ListedUnit> services;
    std::set<std::string> seen;
    for (ListedUnit &unit : units) {
        // A template ("name@.service") is no service of its own, only its instances are.
        if (!unit.Name.ends_with(ServiceSuffix) || unit.Name.ends_with("@" + std::string(ServiceSuffix))
            || !seen.insert(unit.Name).second)
            continue;
        unit.Name.resize(unit.Name.size() - ServiceSuffix.size());
        services.push_back(std::move(unit));
    }
    return services;
}

// Loaded units come first, in the manager's order, then those only installed as files.
std::optional<SourceFailure> ListServices(sd_bus *bus, const std::string &pattern, std::vector<ListedUnit> &services)
{
    std::vector<ListedUnit> units;
    auto failure = ListByPattern(bus, "ListUnitsByPatterns", pattern, "(ssssssouso)", [&](sd_bus_message *m) {
        const char *name = nullptr, *loadState = nullptr, *activeState = nullptr;
        const int r = sd_bus_message_read(m, "(ssssssouso)", &name, nullptr, &loadState, &activeState, nullptr,
                                          nullptr, nullptr, nullptr, nullptr, nullptr);
        if (r > 0 && IsInstalled(loadState, activeState))
            units.push_back({name, true, activeState, std::string_view(loadState) == "masked"});
        return r;
    });
    if (!failure)
        failure = ListByPattern(bus, "ListUnitFilesByPatterns", pattern, "(ss)", [&](sd_bus_message *m) {
            const char *path = nullptr, *state = nullptr;
            const int r = sd_bus_message_read(m, "(ss)", &path, &state);
            // An alias is listed again under the name of the unit it points to.
            if (r > 0 && std::string_view(state) != "alias")
                units.push_back({std::string(std::string_view(path).substr(std::string_view(path).rfind('/') + 1)),
                                 false, "inactive", std::string_view(state).starts_with("masked")});
            return r;
        });
    if (failure)
        return failure;
    services = DistinctServicesWithoutTemplates(std::move(units));
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

// A unit's own object path loads a unit that is installed but not loaded, and every read of
// it loads and drops its file again, so such a unit is read once, for its type; a loaded
// one that may run is read for its process as well.
std::optional<SourceFailure> PropertiesOf(std::vector<ListedUnit> &services,
                                          std::vector<PipelinedReads::Property> &properties)
{
    for (ListedUnit &service : services) {
        char *rawPath = nullptr;
        const std::string unit = service.Name + std::string(ServiceSuffix);
        const int r = sd_bus_path_encode(ManagerBus::UnitPathPrefix, unit.c_str(), &rawPath);
        const CStringPtr path(rawPath);
        if (r < 0)
            return FailureOf("sd_bus_path_encode", r, BusError{});
        service.FirstRead = properties.size();
        properties.push_back({path.get(), ManagerBus::ServiceInterface, "Type"});
        if (service.MayRunAProcess())
            properties.push_back({path.get(), ManagerBus::ServiceInterface, "MainPID"});
    }
    return std::nullopt;
}

class SystemdServiceCollection : public ServiceCollection {
public:
    SystemdServiceCollection(std::unique_ptr<ManagerConnection> connection, std::vector<ListedUnit> services,
                             const std::vector<PipelinedReads::Property> &properties)
        : Services(std::move(services)), Reads(connection->Get(), properties), Connection(std::move(connection))
    {
    }

    std::size_t Count() const override { return Services.size(); }
    const std::string &Name(std::size_t index) const override { return Services.at(index).Name; }
    std::optional<SourceFailure> Read(std::size_t index, BrokerService &service) override;

private:
    std::vector<ListedUnit> Services;
    PipelinedReads Reads;
    // Declared last, so that the connection and the reads still pending on it go first.
    std::unique_ptr<ManagerConnection> Connection;
};

// The reads of every listed service are on their way with the first of them, whichever
// service is read first.
std::optional<SourceFailure> SystemdServiceCollection::Read(std::size_t index, BrokerService &service)
{
    const ListedUnit &listed = Services.at(index);
    BrokerService read{listed.Name, 0, {}, StateOf(listed.ActiveState), listed.Masked};
    auto failure = Reads.Value(listed.FirstRead, read.ServiceType);
    if (!failure && listed.MayRunAProcess())
        failure = Reads.Value(listed.FirstRead + 1, read.ProcessID);
    if (failure)
        return Connection->Explained(*failure);
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
    const std::string_view prefix = ServiceMonikerPrefix;
    if (!moniker.starts_with(prefix) || className != ServiceClassName)
        return SourceFailure{"SystemdServiceSource", std::string("Only ") + ServiceClassName + " instances of a \"" +
                                                         ServiceMonikerPrefix + "server\" moniker can be listed."};
    ServerTarget target;
    std::unique_ptr<ManagerConnection> connection;
    std::vector<ListedUnit> services;
    std::vector<PipelinedReads::Property> properties;
    auto failure = ParseServerTarget(moniker.substr(prefix.size()), target);
    if (!failure)
        failure = ConnectManager(target, Timeout, connection);
    if (failure)
        return failure;
    failure = ListServices(connection->Get(), namePattern + std::string(ServiceSuffix), services);
    if (!failure)
        failure = PropertiesOf(services, properties);
    if (failure)
        return connection->Explained(*failure);
    instances = std::make_unique<SystemdServiceCollection>(std::move(connection), std::move(services), properties);
    return std::nullopt;
}
