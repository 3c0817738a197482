#pragma once

#include <cstdlib>
#include <memory>

#include <systemd/sd-bus.h>

// One owner for every sd-bus handle, released on every path out of a function.

struct BusDeleter {
    void operator()(sd_bus *bus) const
    {
        // Flushing a connection that has not finished its handshake first waits for that
        // handshake, up to the library's own long limit; such a connection has nothing queued.
        if (sd_bus_is_ready(bus) > 0)
            sd_bus_flush_close_unref(bus);
        else
            sd_bus_close_unref(bus);
    }
};
using BusPtr = std::unique_ptr<sd_bus, BusDeleter>;

struct MessageDeleter {
    void operator()(sd_bus_message *message) const { sd_bus_message_unref(message); }
};
using MessagePtr = std::unique_ptr<sd_bus_message, MessageDeleter>;

// Strings that sd-bus allocates for its caller.
struct FreeDeleter {
    void operator()(char *text) const { std::free(text); }
};
using CStringPtr = std::unique_ptr<char, FreeDeleter>;

class BusError {
public:
    BusError() = default;
    BusError(const BusError &) = delete;
    BusError &operator=(const BusError &) = delete;
    ~BusError() { sd_bus_error_free(&Error); }

    sd_bus_error *Get() { return &Error; }
    bool IsSet() const { return sd_bus_error_is_set(&Error); }
    const char *Name() const { return Error.name; }
    const char *Message() const { return Error.message ? Error.message : ""; }

private:
    sd_bus_error Error = SD_BUS_ERROR_NULL;
};
