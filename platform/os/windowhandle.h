#pragma once

#include <cstdint>

// Names one top-level window of the platform. Only the platform's implementation gives the
// value a meaning; everybody else just passes it on.
using WindowHandle = std::uintptr_t;
