#pragma once

#include "platform/servicesource.h"

// Reads a server's services through WMI's scripting objects, as a script would: the
// moniker names the server, and each property is read through IDispatch. COM belongs to
// the thread that makes the source, apartment-threaded, for as long as the source lives;
// the source and its collections are used on that thread alone.
class WmiServiceSource final : public ServiceSource {
public:
    WmiServiceSource();
    ~WmiServiceSource() override;
    WmiServiceSource(const WmiServiceSource &) = delete;
    WmiServiceSource &operator=(const WmiServiceSource &) = delete;

    // The name pattern is not used: the listing holds every service of the server.
    std::optional<SourceFailure> InstancesOf(const std::string &moniker,
                                             const std::string &className,
                                             const std::string &namePattern,
                                             std::unique_ptr<ServiceCollection> &instances) override;

private:
    // Only a CoInitializeEx that succeeded is balanced by CoUninitialize. One that failed
    // because the thread already chose another apartment leaves COM usable all the same.
    bool ComInitialised = false;
};
