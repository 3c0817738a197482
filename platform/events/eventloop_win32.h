#pragma once

#include "platform/events/combinedwait.h"
#include "platform/events/eventpump.h"
#include "platform/os/windowhandle.h"

#include <optional>

// Handles reach the combined wait as int32_t values; a caller passes WaitValueOf(handle).
// Kernel handles fit in 32 bits even in a 64-bit process, which is what lets 32-bit and
// 64-bit processes share them, so the value goes back to the same HANDLE by sign extension.
int32_t WaitValueOf(void *handle);

// The event pump and the combined wait over the thread's message queue.
class Win32EventLoop final : public EventPump, public CombinedWait {
public:
    void PumpMessages() override;
    int32_t WaitForInputOrHandles(int32_t handleCount, const int32_t *handles,
                                  uint32_t timeoutMs) override;

    // Runs the program's messages until the quit; returns its exit code.
    int32_t Run();

    // Keyboard navigation (Tab, Enter, Esc) between the controls of this window; 0 for none.
    void SetDialogWindow(WindowHandle window) { DialogWindow = window; }
    // From now on every wait fails at once, so that waits still on the stack return and
    // the stack unwinds while the program ends.
    void Abandon() { Abandoned = true; }

    // The exit code of a WM_QUIT that a pump took from the queue. The pump keeps it here
    // instead of posting it again: a quit message back in the queue would wake every later
    // wait at once, and a wait loop would spin until its deadline.
    std::optional<int32_t> QuitCode() const { return Quit; }

private:
    WindowHandle DialogWindow = 0;
    bool Abandoned = false;
    std::optional<int32_t> Quit;
};
