#include "platform/events/threadworker.h"

#include "platform/events/eventloop_win32.h"
#include "platform/os/windows_win32.h"

std::shared_ptr<DoneSignal> DoneSignal::Make()
{
    // Reset by hand, that is never: whoever waits later still sees the job ended.
    const HANDLE event = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    return event ? std::shared_ptr<DoneSignal>(new DoneSignal(reinterpret_cast<intptr_t>(event))) : nullptr;
}

DoneSignal::~DoneSignal()
{
    CloseHandle(reinterpret_cast<HANDLE>(Native));
}

void DoneSignal::Raise()
{
    Flag = true;
    SetEvent(reinterpret_cast<HANDLE>(Native));
}

int32_t DoneSignal::WaitHandle() const
{
    return WaitValueOf(reinterpret_cast<HANDLE>(Native));
}
