#include "platform/services/pipelinedreads_systemd.h"

#include "platform/services/managerbus_systemd.h"

#include <cstdint>

namespace {

// Half of what a system bus allows, so that the connection's other calls still fit.
constexpr std::size_t Window = 64;

} // namespace

PipelinedReads::PipelinedReads(sd_bus *bus, const std::vector<Property> &properties) : Bus(bus)
{
    // Every read is in place before the first is sent: the bus keeps a pointer to each.
    Reads.reserve(properties.size());
    for (const Property &property : properties)
        Reads.push_back({property, this, nullptr});
}

int PipelinedReads::TakeReply(sd_bus_message *reply, void *userdata, sd_bus_error *)
{
    auto *read = static_cast<Read *>(userdata);
    read->Reply.reset(sd_bus_message_ref(reply));
    ++read->Owner->Replied;
    return 0;
}

std::optional<SourceFailure> PipelinedReads::SendAhead()
{
    for (; Sent < Reads.size() && Sent - Replied < Window; ++Sent) {
        const Property &property = Reads[Sent].What;
        const int r = sd_bus_call_method_async(Bus, nullptr, ManagerBus::Destination, property.Path.c_str(),
                                               ManagerBus::PropertiesInterface,
                                               "Get", TakeReply, &Reads[Sent], "ss", property.Interface,
                                               property.Member);
        if (r < 0)
            return FailureOf(property.Member, r, BusError{});
    }
    return std::nullopt;
}

// Waits for the reply to read `index` and reads the basic value of `type` in its variant.
std::optional<SourceFailure> PipelinedReads::ReadBasic(std::size_t index, char type, void *value)
{
    Read &read = Reads.at(index);
    while (!read.Reply) {
        if (auto failure = SendAhead())
            return failure;
        int r = sd_bus_process(Bus, nullptr);
        // A pending read ends in its reply or, at its time-out, in an error the bus makes.
        if (r == 0)
            r = sd_bus_wait(Bus, UINT64_MAX);
        if (r < 0)
            return FailureOf(read.What.Member, r, BusError{});
    }
    if (const sd_bus_error *error = sd_bus_message_get_error(read.Reply.get()))
        return SourceFailure{error->name, error->message ? error->message : ""};
    const char contents[] = {type, '\0'};
    int r = sd_bus_message_rewind(read.Reply.get(), 1);
    if (r >= 0)
        r = sd_bus_message_enter_container(read.Reply.get(), 'v', contents);
    if (r >= 0)
        r = sd_bus_message_read_basic(read.Reply.get(), type, value);
    if (r < 0)
        return FailureOf(read.What.Member, r, BusError{});
    return std::nullopt;
}

std::optional<SourceFailure> PipelinedReads::Value(std::size_t index, uint32_t &value)
{
    uint32_t read = 0;
    auto failure = ReadBasic(index, 'u', &read);
    if (!failure)
        value = read;
    return failure;
}

std::optional<SourceFailure> PipelinedReads::Value(std::size_t index, std::string &value)
{
    const char *read = nullptr;
    auto failure = ReadBasic(index, 's', &read);
    if (!failure)
        value = read;
    return failure;
}
