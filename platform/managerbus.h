#pragma once

#include <chrono>
#include <optional>

#include "platform/sdbus_handles.h"
#include "platform/servertarget.h"
#include "platform/servicesource.h"

// A failed sd-bus call in the bus's own words, or in the transport's when the bus had none.
SourceFailure FailureOf(const char *call, int result, const BusError &error);

// Opens a connection to the service manager of `target`: the system bus for this machine,
// otherwise the way `systemctl -H` reaches one, but without ever prompting. Connecting and
// every later method call each end within `timeout`. `bus` is written only on success.
std::optional<SourceFailure> ConnectManager(const ServerTarget &target, std::chrono::milliseconds timeout, BusPtr &bus);
