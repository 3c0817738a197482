// How long one monitoring cycle's scan takes in the real window, report box included, against
// the two systemctl listings that show the same services, and the longest the window's event
// loop goes unserved meanwhile, on a private user manager holding growing numbers of broker
// services (every other one running) beside 10 other services. Runs beside the manager, on a
// display: bench/run-scan-bench.sh [BUILD_DIR] [BROKER COUNTS...].
#include "bench/printedboxes.h"
#include "monitor/monitorwindow_qt.h"
#include "monitor/tarvikbrokerservicecheck.h"
#include "monitor/windowplatform_qt.h"
#include "tests/support/observedsource.h"
#include "tests/support/usermanager.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QProcess>
#include <QTimer>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <vector>

namespace {

constexpr int Runs = 5;
constexpr int Others = 10;

// systemctl --user ARGUMENTS, its output thrown away, so that no terminal's time counts.
bool QuietSystemctl(const QStringList &arguments)
{
    QProcess systemctl;
    systemctl.setStandardOutputFile(QProcess::nullDevice());
    systemctl.start("systemctl", QStringList{"--user"} + arguments);
    return systemctl.waitForFinished(300000) && systemctl.exitStatus() == QProcess::NormalExit
        && systemctl.exitCode() == 0;
}

// Installs the brokers numbered from `first` to before `end`, starting every other one, and
// with the first brokers the services that are no brokers.
bool InstallServices(int first, int end)
{
    QStringList started;
    bool written = true;
    for (int i = first; i < end; ++i) {
        const QString name = QString("tarvik-broker-%1").arg(i, 4, 10, QChar('0'));
        written = written && UserManager::InstallUnit(name);
        if (i % 2 == 0)
            started << name;
    }
    for (int i = 0; first == 0 && i < Others; ++i)
        written = written && UserManager::InstallUnit(QString("worker-%1").arg(i));
    return written && QuietSystemctl({"daemon-reload"}) && (started.isEmpty() || QuietSystemctl(QStringList{"start"} + started));
}

double Median(std::vector<double> times)
{
    std::sort(times.begin(), times.end());
    return times[times.size() / 2];
}

// The listings of every service, as an operator would see what the server has.
double ListingsMilliseconds()
{
    std::vector<double> times;
    for (int run = 0; run < Runs; ++run) {
        QElapsedTimer timer;
        timer.start();
        if (!QuietSystemctl({"list-units", "--type=service", "--all"}) || !QuietSystemctl({"list-unit-files", "--type=service"}))
            return -1;
        times.push_back(timer.nsecsElapsed() / 1e6);
    }
    return Median(times);
}

// The program's check of this machine, as an engine runs it: a process of its own, to its exit.
double CheckMilliseconds(const QStringList &options = {})
{
    std::vector<double> times;
    for (int run = 0; run < Runs; ++run) {
        QElapsedTimer timer;
        timer.start();
        QProcess check;
        check.setStandardOutputFile(QProcess::nullDevice());
        check.start(QCoreApplication::applicationDirPath() + "/../monitor/tarvik-broker-servicecheck",
                    QStringList{"--check"} + options);
        if (!check.waitForFinished(60000) || check.exitStatus() != QProcess::NormalExit || check.exitCode() == 3)
            return -1;
        times.push_back(timer.nsecsElapsed() / 1e6);
    }
    return Median(times);
}

// The manager's own part of a scan: listing the brokers, loaded or only installed.
double ManagerListingMilliseconds(ServiceSource &source)
{
    std::vector<double> times;
    for (int run = 0; run < Runs; ++run) {
        QElapsedTimer timer;
        timer.start();
        std::unique_ptr<ServiceCollection> services;
        if (source.InstancesOf(ServiceMonikerPrefix + std::string("localhost"), ServiceClassName,
                               "*[Bb][Rr][Oo][Kk][Ee][Rr]*", services))
            return -1;
        times.push_back(timer.nsecsElapsed() / 1e6);
    }
    return Median(times);
}

struct ScanTimes {
    double Scan = 0;  // from the press to the report in the box
    double Stall = 0; // the longest gap between two ticks of a 1 ms timer on the window's thread
};

// One cycle per press, with the interval 0: the press returns once the scan is reported.
ScanTimes Medians(QtMonitorWindow &window, TarvikBrokerServiceCheck &monitor)
{
    std::vector<double> scans, stalls;
    for (int run = 0; run < Runs; ++run) {
        QElapsedTimer scan, sinceTick;
        double stall = 0;
        QTimer ticks;
        ticks.setTimerType(Qt::PreciseTimer);
        QObject::connect(&ticks, &QTimer::timeout, [&] {
            stall = std::max(stall, sinceTick.nsecsElapsed() / 1e6);
            sinceTick.start();
        });
        // The first pump of the scan's wait unchecks Keep Running, so the loop ends after it.
        QTimer::singleShot(0, &window, [&window] { window.SetCheckBoxValue(Control::mKeepRunning, 0); });
        scan.start();
        sinceTick.start();
        ticks.start(1);
        monitor.CheckBrokerPressed(1);
        scans.push_back(scan.nsecsElapsed() / 1e6);
        stalls.push_back(std::max(stall, sinceTick.nsecsElapsed() / 1e6));
    }
    return {Median(scans), Median(stalls)};
}

} // namespace

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    std::vector<int> counts;
    for (int i = 1; i < argc; ++i)
        counts.push_back(std::max(1, std::atoi(argv[i])));
    if (counts.empty())
        counts = {10, 100, 1000};
    std::sort(counts.begin(), counts.end());

    QtWindowPlatform platform;
    PrintedBoxes boxes;
    QtMonitorWindow window;
    const MonitorPlatform real = platform.Monitor();
    TarvikBrokerServiceCheck monitor(
        {{boxes, platform.Loop, platform.Loop, platform.Clock, platform.Ticks, platform.Numbers, platform.Background},
         real.Winsock1, real.Credentials, real.CredentialsWorker, real.Source, real.CloseBox, real.Log, real.EndProgram},
        window);
    window.SetText(Control::mInterval, "0");
    window.show();
    int installed = 0;
    for (const int brokers : counts) {
        if (!InstallServices(installed, brokers)) {
            std::fprintf(stderr, "installing %d brokers failed\n", brokers);
            return 1;
        }
        installed = brokers;
        const ScanTimes times = Medians(window, monitor);
        const double listed = ListingsMilliseconds();
        const double listing = ManagerListingMilliseconds(*platform.Source);
        const double check = CheckMilliseconds();
        // With the long output and the metrics file as well.
        const double checkInFull =
            CheckMilliseconds({"-v", "--metrics", QDir::temp().filePath("tarvik-broker-bench.prom")});
        const qsizetype reported = QString::fromStdString(window.Text(Control::txChanges)).count("Service Name: ");
        if (listed < 0 || listing < 0 || check < 0 || checkInFull < 0 || boxes.Shown > 0 || reported != brokers) {
            std::fprintf(stderr, "at %d brokers: %lld reported, %d message boxes\n", brokers,
                         static_cast<long long>(reported), boxes.Shown);
            return 1;
        }
        std::printf("brokers %d: scan %.1f ms (%.3f ms a broker), listings %.1f ms, ratio %.4f, longest stall %.1f ms "
                    "(medians of %d runs; the scan's listing alone %.1f ms; the check, a process, %.1f ms, with -v "
                    "and --metrics %.1f ms)\n",
                    brokers, times.Scan, times.Scan / brokers, listed, times.Scan / listed, times.Stall, Runs, listing,
                    check, checkInFull);
        std::fflush(stdout);
    }
    return 0;
}
