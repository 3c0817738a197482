#include "platform/events/donesignal.h"

#include "platform/os/uniquefd_linux.h"

#include <sys/eventfd.h>
#include <unistd.h>

namespace {

class EventFdSignal final : public DoneSignal {
public:
    explicit EventFdSignal(UniqueFd event) : Event(std::move(event)) {}

    int32_t WaitHandle() const override { return Event.Get(); }

private:
    // Once written the descriptor stays readable, however often it is waited for.
    void WakeWaiters() override
    {
        const uint64_t one = 1;
        [[maybe_unused]] const ssize_t written = write(Event.Get(), &one, sizeof one);
    }

    UniqueFd Event;
};

} // namespace

std::shared_ptr<DoneSignal> DoneSignal::Make()
{
    UniqueFd event(eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK));
    return event.Get() < 0 ? nullptr : std::make_shared<EventFdSignal>(std::move(event));
}
