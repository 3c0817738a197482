// One interval wait over a quiet, visible window: a quiet wait must cost next to no CPU,
// whatever the length of the interval. Usage: quietwait_bench [interval ms, default 60000]
#include "platform/events/eventloop_qt.h"
#include "platform/time/tickcounter_linux.h"
#include "util/modmsgwaitobj.h"

#include <QApplication>
#include <QWidget>

#include <time.h>

#include <cstdio>
#include <cstdlib>

namespace {

// Counts the sleeps and the wakes that new input caused.
class CountingWait final : public CombinedWait {
public:
    explicit CountingWait(CombinedWait &inner) : Inner(inner) {}
    int32_t WaitForInputOrHandles(int32_t handleCount, const int32_t *handles,
                                  uint32_t timeoutMs) override
    {
        ++Sleeps;
        const int32_t result = Inner.WaitForInputOrHandles(handleCount, handles, timeoutMs);
        InputWakes += result == handleCount;
        return result;
    }
    int Sleeps = 0;
    int InputWakes = 0;

private:
    CombinedWait &Inner;
};

double SecondsOf(clockid_t clock)
{
    timespec now{};
    clock_gettime(clock, &now);
    return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) / 1e9;
}

} // namespace

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    const int32_t interval = argc > 1 ? static_cast<int32_t>(std::atol(argv[1])) : 60000;
    QWidget window;
    window.resize(344, 447);
    window.show();
    QApplication::processEvents(); // the first paint belongs to showing the window, not to the wait

    LinuxTickCounter ticks;
    QtEventLoop loop;
    CountingWait wait(loop);
    const double wallStart = SecondsOf(CLOCK_MONOTONIC);
    const double cpuStart = SecondsOf(CLOCK_PROCESS_CPUTIME_ID);
    const int32_t result = modMsgWaitObj::WaitPumpingMessages(interval, {}, {ticks, wait, loop});
    const double cpu = SecondsOf(CLOCK_PROCESS_CPUTIME_ID) - cpuStart;
    const double wall = SecondsOf(CLOCK_MONOTONIC) - wallStart;

    std::printf("interval %d ms: result %d, wall %.3f s, cpu %.4f s, sleeps %d, input wakes %d\n",
                interval, result, wall, cpu, wait.Sleeps, wait.InputWakes);
    return cpu < 0.05 ? EXIT_SUCCESS : EXIT_FAILURE;
}
