// Prints what the reply wait and a whole mail dialogue cost in wall and CPU seconds.
#include "mail/notificationmail.h"
#include "platform/clocks_qt.h"
#include "platform/eventloop_qt.h"
#include "platform/mailsocket_qt.h"
#include "platform/numberformat_qt.h"
#include "tests/support/aiosmtpdserver.h"
#include "tests/support/portredirectingsocket.h"
#include "tests/support/recordingmessageboxes.h"

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

// The mail part over the real platform, with message boxes recorded instead of shown.
struct Rig {
    explicit Rig(int32_t port) : Socket(RealSocket, port) {}

    QtEventLoop Loop;
    QtClocks Clock;
    QtNumberFormat Numbers;
    RecordingMessageBoxes Boxes;
    QtMailSocket RealSocket;
    PortRedirectingSocket Socket;
    NotificationMail Mail{Socket, {Boxes, Loop, Loop, Clock, Numbers}, [](const std::string &) {}};
};

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    const int dialogues = argc > 1 ? std::max(1, std::atoi(argv[1])) : 20;

    Rig silent(25);
    const Cost wait = Measure([&] { silent.Mail.WaitFor("220"); });
    std::printf("%-44s %8.3f s wall %8.4f s CPU\n", "one timed-out reply wait", wait.Wall, wait.Cpu);

    AiosmtpdServer server;
    if (!server.Start()) {
        std::fprintf(stderr, "%s\n", qPrintable(server.Failure));
        return 1;
    }
    Rig rig(server.Port());
    std::vector<Cost> costs;
    for (int i = 0; i < dialogues; ++i)
        costs.push_back(Measure([&] {
            rig.Mail.SendEmail("127.0.0.1", "TarvikBroker", "ops@example.org", "TarvikBrokerQueue",
                               "ops@example.org", "Tarvik Broker Service Check Message",
                               "Please restart Tarvik Broker process SampleBroker\r\n");
        }));
    std::sort(costs.begin(), costs.end(), [](const Cost &a, const Cost &b) { return a.Wall < b.Wall; });
    const Cost median = costs[costs.size() / 2];
    std::printf("%-44s %8.3f s wall %8.4f s CPU  (median of %d; %zu message boxes)\n",
                "one complete dialogue with aiosmtpd", median.Wall, median.Cpu, dialogues,
                rig.Boxes.Boxes.size());
    return 0;
}
