#include "platform/events/eventloop_win32.h"

#include "platform/os/windows_win32.h"

#include <array>

namespace {

HANDLE HandleOf(int32_t value)
{
    return reinterpret_cast<HANDLE>(static_cast<intptr_t>(value));
}

} // namespace

int32_t WaitValueOf(void *handle)
{
    return static_cast<int32_t>(reinterpret_cast<intptr_t>(handle));
}

void Win32EventLoop::PumpMessages()
{
    MSG message{};
    while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
        if (message.message == WM_QUIT) {
            // Whatever is still queued belongs to a program that is ending.
            Quit = static_cast<int32_t>(message.wParam);
            return;
        }
        if (DialogWindow != 0 && IsDialogMessageW(HwndOf(DialogWindow), &message))
            continue;
        TranslateMessage(&message);
        DispatchMessageW(&message);
    }
}

int32_t Win32EventLoop::Run()
{
    // A pump leaves nothing unseen in the queue, so the sleep ends with the next message.
    while (!Quit) {
        WaitMessage();
        PumpMessages();
    }
    return *Quit;
}

int32_t Win32EventLoop::WaitForInputOrHandles(int32_t handleCount, const int32_t *handles,
                                              uint32_t timeoutMs)
{
    // The platform takes one handle fewer than MAXIMUM_WAIT_OBJECTS beside the queue.
    std::array<HANDLE, MAXIMUM_WAIT_OBJECTS - 1> waited{};
    if (Abandoned || handleCount < 0 || handleCount > static_cast<int32_t>(waited.size()))
        return WaitCode::Failed;
    for (int32_t i = 0; i < handleCount; ++i)
        waited[i] = HandleOf(handles[i]);
    // Every kind of input, pen and touch included, and input that a peek has already seen
    // without taking it: the classic eight kinds and new input only would leave a press
    // waiting until the time-out.
    return static_cast<int32_t>(MsgWaitForMultipleObjectsEx(static_cast<DWORD>(handleCount), waited.data(),
                                                            timeoutMs, QS_ALLINPUT, MWMO_INPUTAVAILABLE));
}
