#pragma once

#include "platform/services/sdbushandles_systemd.h"
#include "platform/services/servicesource.h"

#include <optional>
#include <string>
#include <vector>

// Property reads sent ahead on one bus connection, so that many of them cost about one round
// trip instead of one each. At most a window of them waits for its reply at a time: a
// system bus refuses a connection more than 128 pending replies. Each read keeps the bus's
// method call time-out.
class PipelinedReads {
public:
    struct Property {
        std::string Path;
        const char *Interface;
        const char *Member;
    };

    PipelinedReads(sd_bus *bus, const std::vector<Property> &properties);
    // The bus holds a pointer to each read still waiting for its reply.
    PipelinedReads(const PipelinedReads &) = delete;
    PipelinedReads &operator=(const PipelinedReads &) = delete;

    // The value of property `index`, once its reply has come; sends the reads up to it first.
    // `value` is written only on success.
    std::optional<SourceFailure> Value(std::size_t index, uint32_t &value);
    std::optional<SourceFailure> Value(std::size_t index, std::string &value);

private:
    struct Read {
        Property What;
        PipelinedReads *Owner;
        MessagePtr Reply;
    };

    static int TakeReply(sd_bus_message *reply, void *read, sd_bus_error *);
    std::optional<SourceFailure> ReadBasic(std::size_t index, char type, void *value);
    std::optional<SourceFailure> SendAhead();

    sd_bus *Bus;
    std::vector<Read> Reads;
    std::size_t Sent = 0;
    std::size_t Replied = 0;
};
