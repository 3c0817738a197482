// Prints what the reply wait and a whole mail dialogue cost in wall and CPU seconds.
#include "tests/support/aiosmtpdserver.h"
#include "tests/support/realmail.h"

#include <QCoreApplication>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <ctime>
#include <functional>
#include <vector>

namespace {

struct Cost {
    double Wall = 0.0;
    double Cpu = 0.0;
};

double CpuSeconds()
{
    timespec now{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
    return now.tv_sec + now.tv_nsec / 1e9;
}

Cost Measure(const std::function<void()> &run)
{
    const auto wallStart = std::chrono::steady_clock::now();
    const double cpuStart = CpuSeconds();
    run();
    const std::chrono::duration<double> wall = std::chrono::steady_clock::now() - wallStart;
    return {wall.count(), CpuSeconds() - cpuStart};
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    const int dialogues = argc > 1 ? std::max(1, std::atoi(argv[1])) : 20;

    RealMail silent;
    const Cost wait = Measure([&] { silent.Mail.WaitFor("220"); });
    std::printf("%-44s %8.3f s wall %8.4f s CPU\n", "one timed-out reply wait", wait.Wall, wait.Cpu);

    AiosmtpdServer server;
    if (!server.Start()) {
        std::fprintf(stderr, "%s\n", qPrintable(server.Failure));
        return 1;
    }
    RealMail rig(server.Port());
    std::vector<Cost> costs;
    for (int i = 0; i < dialogues; ++i)
        costs.push_back(Measure([&] {
            rig.SendNotification("127.0.0.1", "Please restart Tarvik Broker process SampleBroker\r\n");
        }));
    std::sort(costs.begin(), costs.end(), [](const Cost &a, const Cost &b) { return a.Wall < b.Wall; });
    const Cost median = costs[costs.size() / 2];
    std::printf("%-44s %8.3f s wall %8.4f s CPU  (median of %d; %zu message boxes)\n",
                "one complete dialogue with aiosmtpd", median.Wall, median.Cpu, dialogues,
                rig.Boxes.Boxes.size());
    return 0;
}
