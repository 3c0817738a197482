// Prints what the reply wait, a mail to a relay that is down and a whole mail dialogue cost
// in wall and CPU seconds, plain and over TLS. Runs through tests/support/with-tls-relays.sh,
// which puts aiosmtpd on 127.0.0.1 port 25 and the relays that speak TLS beside it.
#include "mail/notificationmail.h"
#include "platform/events/eventloop_qt.h"
#include "platform/events/threadworker.h"
#include "platform/net/mailsocket_qt.h"
#include "platform/os/credentialstore_linux.h"
#include "platform/time/clocks_qt.h"
#include "platform/time/tickcounter_linux.h"

#include <QCoreApplication>
#include <QTcpServer>

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

// The mail part on the real platform, as the window runs it.
struct RealMail {
    bool SendNotification(const std::string &host)
    {
        return Mail.SendEmail(host, "TarvikBroker", "ops@example.org", "TarvikBrokerQueue", "ops@example.org",
                              "Tarvik Broker Service Check Message",
                              "Please restart Tarvik Broker process SampleBroker\r\n")
            .Delivered;
    }

    QtEventLoop Loop;
    QtClocks Clock;
    LinuxTickCounter Ticks;
    QtMailSocket Socket;
    ThreadWorker Worker;
    NotificationMail Mail{Socket, {Clock, Ticks, Loop, Loop, Worker, std::make_shared<SecretServiceStore>()},
                          [](const std::string &) {}};
};

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    const int dialogues = argc > 1 ? std::max(1, std::atoi(argv[1])) : 20;

    // A relay that takes the connection and never greets.
    QTcpServer mute;
    mute.listen(QHostAddress("127.0.0.2"), 25);
    RealMail silent;
    silent.Socket.SetRemoteHost("127.0.0.2");
    silent.Socket.SetRemotePort(25);
    silent.Socket.OpenConnection();
    const Cost wait = Measure([&] { silent.Mail.WaitFor("220"); });
    std::printf("%-44s %8.3f s wall %8.4f s CPU\n", "one timed-out reply wait", wait.Wall, wait.Cpu);

    // A relay that is down: the connection is refused.
    RealMail down;
    bool refusedDelivered = true;
    const Cost refused = Measure([&] { refusedDelivered = down.SendNotification("127.0.0.3"); });
    std::printf("%-44s %8.3f s wall %8.4f s CPU\n", "one mail to a relay that refuses the connection", refused.Wall,
                refused.Cpu);

    // The relays of tests/support/with-tls-relays.sh, the login's password kept first.
    SecretServiceStore().StorePassword("ops@relay.test:587", qEnvironmentVariable("BROKER_TEST_RELAY_PASSWORD").toStdString());
    int undelivered = 0;
    for (const auto &[relay, what] : {std::pair{"127.0.0.1", "one complete dialogue with aiosmtpd, plain"},
                                      {"relay.test", "the same over STARTTLS"},
                                      {"ops@relay.test:587", "the same over STARTTLS with AUTH PLAIN"}}) {
        RealMail rig;
        std::vector<Cost> costs;
        for (int i = 0; i < dialogues; ++i)
            costs.push_back(Measure([&] { undelivered += !rig.SendNotification(relay); }));
        std::sort(costs.begin(), costs.end(), [](const Cost &a, const Cost &b) { return a.Wall < b.Wall; });
        const Cost median = costs[costs.size() / 2];
        std::printf("%-44s %8.3f s wall %8.4f s CPU  (median of %d)\n", what, median.Wall, median.Cpu, dialogues);
    }
    std::printf("%d not delivered\n", undelivered);
    return undelivered == 0 && !refusedDelivered ? 0 : 1;
}
