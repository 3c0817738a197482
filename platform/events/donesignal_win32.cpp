#include "platform/events/donesignal.h"

#include "platform/events/eventloop_win32.h"
#include "platform/os/handles_win32.h"

namespace {

class EventSignal final : public DoneSignal {
public:
    explicit EventSignal(HandlePtr event) : Event(std::move(event)) {}

    int32_t WaitHandle() const override { return WaitValueOf(Event.get()); }

private:
    void WakeWaiters() override { SetEvent(Event.get()); }

    HandlePtr Event;
};

} // namespace

std::shared_ptr<DoneSignal> DoneSignal::Make()
{
    // Reset by hand, that is never: whoever waits later still sees the job ended.
    HandlePtr event(CreateEventW(nullptr, TRUE, FALSE, nullptr));
    return event ? std::make_shared<EventSignal>(std::move(event)) : nullptr;
}
