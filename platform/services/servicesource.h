#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

// What a source is asked for: the services (the class) of the server that the moniker prefix
// and the server's text name. Both platforms' sources are asked as WMI is, so that one scan
// serves both; the systemd source reads the server's text out of the same moniker. Literals,
// not strings: a reading the program gave up on may still use them while the program ends.
constexpr const char *ServiceMonikerPrefix = "winmgmts:{impersonationLevel=impersonate}!//";
constexpr const char *ServiceClassName = "Win32_Service";

// One service as the source reports it.
struct BrokerService {
    std::string Name;
    uint32_t ProcessID = 0; // 0 while not running
    std::string ServiceType;
    std::string State; // "Running", "Stopped", "Start Pending", "Stop Pending", "Unknown"
    // Kept from starting on purpose: disabled on Windows, masked on systemd.
    bool SetAside = false;
};

// Why a listing or a read failed, in the words of whatever failed.
struct SourceFailure {
    std::string Source;
    std::string Description;
};

// The services of one server, in the order the source delivers them. Names come with
// the listing; the other properties are read only when asked for.
class ServiceCollection {
public:
    virtual ~ServiceCollection() = default;
    virtual std::size_t Count() const = 0;
    virtual const std::string &Name(std::size_t index) const = 0;
    // Fills every property of one service; leaves `service` untouched on failure.
    virtual std::optional<SourceFailure> Read(std::size_t index, BrokerService &service) = 0;
};

// The kind of system whose services a source reads, which gives its own services their names.
enum class ServiceSystem { Linux, Windows };

class ServiceSource {
public:
    virtual ~ServiceSource() = default;
    // A source reads the same kind of system wherever it runs: WMI reads Windows servers.
    virtual ServiceSystem System() const = 0;
    // Lists the instances of `className` on the server that `moniker` names. Every name
    // the caller can use matches the shell glob `namePattern`; the source may deliver
    // more, never fewer. `instances` is written only on success.
    virtual std::optional<SourceFailure> InstancesOf(const std::string &moniker,
                                                     const std::string &className,
                                                     const std::string &namePattern,
                                                     std::unique_ptr<ServiceCollection> &instances) = 0;
};
