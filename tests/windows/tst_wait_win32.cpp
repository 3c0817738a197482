#include "platform/events/eventloop_win32.h"
#include "platform/os/handles_win32.h"

#define DOCTEST_CONFIG_IMPLEMENT_WITH_MAIN
#include <doctest/doctest.h>

using Prepare = void (*)(Win32EventLoop &loop, HandlePtr &event);

TEST_SUITE("wait")
{
    TEST_CASE("the combined wait wakes for its handle, input, a time-out, or fails")
    {
        const struct { const char *Behaviour; bool Signalled; Prepare Before; int32_t Result, Quit = 0; } rows[] = {
            {"a signalled handle", true, [](auto &, auto &) {}, WaitCode::Object0},
            {"an invalid handle fails", true, [](auto &, auto &event) { event.reset(); }, WaitCode::Failed},
            {"a posted message is input, then pumped", false,
             [](auto &, auto &) { PostThreadMessageW(GetCurrentThreadId(), WM_APP, 0, 0); }, 1},
            {"a message an earlier peek has seen is still input", false, [](auto &, auto &) {
                 MSG seen{};
                 PostThreadMessageW(GetCurrentThreadId(), WM_APP, 0, 0);
                 PeekMessageW(&seen, nullptr, 0, 0, PM_NOREMOVE);
             }, 1},
            {"an abandoned loop fails at once", true, [](auto &loop, auto &) { loop.Abandon(); }, WaitCode::Failed},
            {"a pumped WM_QUIT is kept and wakes no later wait", false,
             [](auto &loop, auto &) { PostQuitMessage(3), loop.PumpMessages(); }, WaitCode::Timeout, 3},
        };
        for (const auto &row : rows) {
            CAPTURE(row.Behaviour);
            Win32EventLoop loop;
            HandlePtr event(CreateEventW(nullptr, TRUE, row.Signalled, nullptr));
            const int32_t handle = WaitValueOf(event.get());
            row.Before(loop, event);
            CHECK(loop.WaitForInputOrHandles(1, &handle, 20) == row.Result);
            loop.PumpMessages();
            MSG left{};
            CHECK_FALSE(PeekMessageW(&left, nullptr, 0, 0, PM_NOREMOVE));
            CHECK(loop.QuitCode().value_or(0) == row.Quit);
        }
    }
}
