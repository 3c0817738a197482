#include "platform/events/threadworker.h"

#include <sys/eventfd.h>
#include <unistd.h>

std::shared_ptr<DoneSignal> DoneSignal::Make()
{
    const int event = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    return event < 0 ? nullptr : std::shared_ptr<DoneSignal>(new DoneSignal(event));
}

DoneSignal::~DoneSignal()
{
    close(static_cast<int>(Native));
}

// Once raised the descriptor stays readable: whoever waits later still sees the job ended.
void DoneSignal::Raise()
{
    Flag = true;
    const uint64_t one = 1;
    [[maybe_unused]] const ssize_t written = write(static_cast<int>(Native), &one, sizeof one);
}

int32_t DoneSignal::WaitHandle() const
{
    return static_cast<int32_t>(Native);
}
