#pragma once

#include "platform/events/worker.h"
#include "platform/services/servicesource.h"
#include "util/modmsgwaitobj.h"

#include <memory>
#include <string>
#include <vector>

// The window's scan as a check that monitoring engines run, each on many servers: one
// reading of a server, told the way their plugins tell it. A status line, with performance
// data after "|", long output below it when asked for, and the exit code 0 (OK), 1 (WARNING),
// 2 (CRITICAL) or 3 (UNKNOWN: the services could not be read, or only the usage or the version
// was asked). The same reading may also be written as Prometheus metrics.
namespace BrokerCheck {

// True when the command line, its program name left out, holds any of the check's options, so
// that it asks for a check or its usage rather than the window.
bool Asked(const std::vector<std::string> &arguments);

// The check that the command line asks for; what it prints goes to `out`.
int Run(const std::vector<std::string> &arguments, std::shared_ptr<ServiceSource> source, Worker &worker,
        const modMsgWaitObj::MessageWaitPlatform &wait, std::string &out);

} // namespace BrokerCheck
