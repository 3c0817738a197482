#pragma once

#include <cstdint>

// Runs every event pending for the user-interface thread as nested calls, then returns;
// returns at once when nothing is pending.
class EventPump {
public:
    virtual ~EventPump() = default;
    virtual void PumpMessages() = 0;
};
