// Peak resident memory of the real window after 1 and after 100 monitoring cycles that
// follow each other (interval 0): the real platform, a private user manager holding three
// broker services, one of them stopped, and mailing on against aiosmtpd on port 25 (the one
// remembered process id is cleared by each running broker, so the stopped one is mailed
// about again and again). A leak shows as growth between the two. Runs as
// with-private-network.sh with-user-manager.sh window_bench (root; offscreen).
#include "monitor/qtwindowplatform.h"
#include "monitor/tarvikbrokerservicecheck.h"
#include "tests/support/aiosmtpdserver.h"
#include "tests/support/observedsource.h"
#include "tests/support/recordingmessageboxes.h"
#include "tests/support/usermanager.h"

#include <QApplication>
#include <QFile>

#include <cstdio>
#include <functional>

namespace {

constexpr int Cycles = 100;

// The peak resident set so far in megabytes, 0 when the kernel does not say.
double PeakResidentMegabytes()
{
    QFile status("/proc/self/status");
    if (!status.open(QIODevice::ReadOnly))
        return 0;
    for (QByteArray line = status.readLine(); !line.isEmpty(); line = status.readLine())
        if (line.startsWith("VmHWM:"))
            return line.mid(6).trimmed().split(' ').constFirst().toDouble() / 1024;
    return 0;
}

bool InstallServices()
{
    for (const QString name : {"sample-broker", "tarvik-broker-2", "stopped-broker", "broker-logger", "plain-worker"})
        if (!UserManager::InstallUnit(name, UserManager::Sleeper))
            return false;
    return UserManager::Systemctl({"daemon-reload"}) == 0
        && UserManager::Systemctl({"start", "sample-broker", "tarvik-broker-2", "broker-logger"}) == 0;
}

} // namespace

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    AiosmtpdServer relay;
    if (!InstallServices() || !relay.Start(25)) {
        std::fprintf(stderr, "installing the services or starting aiosmtpd failed: %s\n", qPrintable(relay.Failure));
        return 1;
    }
    QtWindowPlatform platform;
    RecordingMessageBoxes boxes;
    ObservedSource source(platform.Source);
    TarvikBrokerServiceCheck window({{boxes, platform.Loop, platform.Loop, platform.Clock, platform.Numbers},
                                     platform.Winsock1, source, platform.Ticks, platform.CloseBox,
                                     [&] { platform.EndProgram(); }});
    double afterFirst = 0;
    source.BeforeListing = [&](int listing) {
        if (listing == 2)
            afterFirst = PeakResidentMegabytes();
        if (listing == Cycles) // the loop ends after this cycle
            window.mKeepRunning->setCheckState(Qt::Unchecked);
    };
    window.show();
    window.mBrokerID->setText("localhost");
    window.mToAddress->setText("ops@example.org");
    window.mSmtpID->setText("localhost");
    window.mInterval->setText("0");
    window.mSendMail->setCheckState(Qt::Checked);
    window.CheckBroker.at(1)->click();

    const double afterAll = PeakResidentMegabytes();
    std::printf("peak resident after 1 cycle %.1f MB, after %d cycles %.1f MB (%d cycles, %lld mails, %zu message boxes)\n",
                afterFirst, Cycles, afterAll, source.Listings, static_cast<long long>(relay.Messages().size()),
                boxes.Boxes.size());
    for (const auto &box : boxes.Boxes)
        std::fprintf(stderr, "message box: %s\n", box.Text.c_str());
    return source.Listings == Cycles && !relay.Messages().isEmpty() && boxes.Boxes.empty() ? 0 : 1;
}
