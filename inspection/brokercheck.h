#pragma once

#include "platform/events/worker.h"
#include "platform/services/servicesource.h"
#include "util/modmsgwaitobj.h"

#include <memory>
#include <string>
#include <vector>

// The window's scan as a check that monitoring engines run, each on many servers: one
// reading of a server, told the way their plugins tell it. One status line, with performance
// data after "|", and the exit code 0 (OK: every broker service runs), 2 (CRITICAL: one or
// more does not) or 3 (UNKNOWN: the services could not be read, or only the usage was asked).
namespace BrokerCheck {

// True when the command line, its program name left out, holds any of the check's options, so
// that it asks for a check or its usage rather than the window.
bool Asked(const std::vector<std::string> &arguments);

// The check that the command line asks for; what it prints goes to `out`.
int Run(const std::vector<std::string> &arguments, std::shared_ptr<ServiceSource> source, Worker &worker,
        const modMsgWaitObj::MessageWaitPlatform &wait, std::string &out);

} // namespace BrokerCheck
