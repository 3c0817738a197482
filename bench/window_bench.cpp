// Peak resident memory of the real window after 1 and after 100 monitoring cycles that
// follow each other (interval 0): the real platform, a private user manager holding three
// broker services, and mailing on against aiosmtpd on port 25; one broker is started and
// stopped by turns before the scans, so that every second cycle mails about its new stop.
// A leak shows as growth between the two. Runs as with-user-manager.sh window_bench (root;
// offscreen).
#include "bench/printedboxes.h"
#include "monitor/monitorwindow_qt.h"
#include "monitor/tarvikbrokerservicecheck.h"
#include "monitor/windowplatform_qt.h"
#include "tests/support/maildir.h"
#include "tests/support/observedsource.h"
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
        if (!UserManager::InstallUnit(name))
            return false;
    return UserManager::Systemctl({"daemon-reload"}) == 0
        && UserManager::Systemctl({"start", "sample-broker", "tarvik-broker-2", "broker-logger"}) == 0;
}

} // namespace

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    if (!InstallServices()) {
        std::fprintf(stderr, "installing the services failed\n");
        return 1;
    }
    QtWindowPlatform platform;
    PrintedBoxes boxes;
    const auto source = std::make_shared<ObservedSource>(platform.Source);
    QtMonitorWindow window;
    MonitorPlatform parts = platform.Monitor();
    TarvikBrokerServiceCheck monitor({{boxes, platform.Loop, platform.Loop, platform.Clock, platform.Ticks, platform.Numbers,
                                       platform.Background},
                                      parts.Winsock1, parts.Credentials, parts.CredentialsWorker, source, parts.CloseBox,
                                      parts.Log, parts.EndProgram},
                                     window);
    double afterFirst = 0;
    source->BeforeListing = [&](int listing) {
        if (listing == 2)
            afterFirst = PeakResidentMegabytes();
        UserManager::Systemctl({listing % 2 ? "stop" : "start", "stopped-broker"});
        if (listing == Cycles) // the loop ends after this cycle
            QMetaObject::invokeMethod(&window, [&window] { window.SetCheckBoxValue(Control::mKeepRunning, 0); });
    };
    window.show();
    window.SetText(Control::mToAddress, "ops@example.org");
    window.SetText(Control::mInterval, "0");
    window.SetCheckBoxValue(Control::mSendMail, 1);
    monitor.CheckBrokerPressed(1);

    const double afterAll = PeakResidentMegabytes();
    const qsizetype mails = Delivered(qEnvironmentVariable("BROKER_TEST_MAILDIR")).size();
    std::printf("peak resident after 1 cycle %.1f MB, after %d cycles %.1f MB (%d cycles, %lld mails, %d message boxes)\n",
                afterFirst, Cycles, afterAll, source->Listings, static_cast<long long>(mails), boxes.Shown);
    return source->Listings == Cycles && mails > 0 && boxes.Shown == 0 ? 0 : 1;
}
