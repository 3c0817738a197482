#pragma once

#include <string>

// The name this machine goes by on the network, fully qualified where the system knows it so.
std::string MachineName();
