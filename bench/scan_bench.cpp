// Times one broker scan, as the monitor runs it, against the two systemctl listings that
// show the same services, on managers with growing numbers of installed services of which
// 3 are brokers (one of them stopped). Runs beside a private user manager:
// bench/run-scan-bench.sh [BUILD_DIR] [SERVICE COUNTS...], default 1000.
#include "bench/printedboxes.h"
#include "inspection/brokerservicescan.h"
#include "platform/servicesource_systemd.h"
#include "tests/support/usermanager.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QProcess>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <vector>

namespace {

constexpr int Runs = 5;
// A listing of 5,000 unit files takes the manager about a minute, so runs stop early once
// they have taken this long.
constexpr double BudgetMs = 10000;
const QStringList Brokers = {"TarvikBroker", "tarvik-broker-2", "MyBrokerSvc"};

// The window's fields, as far as a scan reads and writes them.
struct ReportFields final : ScanFields {
    std::string BrokerServer() override { return "localhost"; }
    int SendMailValue() override { return 1; }
    std::string ReportText() override { return Report; }
    void SetReportText(const std::string &text) override { Report = text; }

    std::string Report;
};

// systemctl --user ARGUMENTS, given the time that thousands of unit files take the manager
// (systemctl's own limit is 25 s). The output is thrown away, so no terminal's time counts.
bool SlowSystemctl(const QStringList &arguments)
{
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert("SYSTEMD_BUS_TIMEOUT", "300");
    QProcess systemctl;
    systemctl.setProcessEnvironment(environment);
    systemctl.setStandardOutputFile(QProcess::nullDevice());
    systemctl.start("systemctl", QStringList{"--user"} + arguments);
    return systemctl.waitForFinished(300000) && systemctl.exitStatus() == QProcess::NormalExit
        && systemctl.exitCode() == 0;
}

// Installs the services numbered from `first` to before `end`; the first ones are the brokers.
bool InstallServices(int first, int end)
{
    QStringList names;
    for (int i = first; i < end; ++i)
        names << (i < Brokers.size() ? Brokers[i] : QString("worker-%1").arg(i, 5, 10, QChar('0')));
    const bool written = std::all_of(names.begin(), names.end(), [](const QString &name) {
        return UserManager::InstallUnit(name);
    });
    return written && SlowSystemctl({"daemon-reload"})
        && UserManager::Systemctl({"start", Brokers[0], Brokers[1]}) == 0;
}

bool Listings()
{
    return SlowSystemctl({"list-units", "--type=service", "--all"})
        && SlowSystemctl({"list-unit-files", "--type=service"});
}

// The median wall time of up to `Runs` runs in milliseconds and the number of runs, or a
// negative time when a run failed.
std::pair<double, int> MedianMilliseconds(const std::function<bool()> &run)
{
    std::vector<double> times;
    QElapsedTimer budget;
    budget.start();
    while (times.size() < Runs && (times.empty() || budget.elapsed() < BudgetMs)) {
        QElapsedTimer timer;
        timer.start();
        if (!run())
            return {-1, 0};
        times.push_back(timer.nsecsElapsed() / 1e6);
    }
    std::sort(times.begin(), times.end());
    return {times[times.size() / 2], static_cast<int>(times.size())};
}

// The whole scan: the listing, every broker's properties, the report and the stop test.
// A scan that showed a message box or missed a broker failed.
bool Scan(BrokerServiceScan &scan, PrintedBoxes &boxes)
{
    ReportFields window;
    std::string mailBody;
    scan.ScanBrokerServices(window, mailBody);
    const QString report = QString::fromStdString(window.Report);
    return boxes.Shown == 0 && report.count("Service Name: ") == Brokers.size();
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication application(argc, argv);
    std::vector<int> counts;
    for (int i = 1; i < argc; ++i)
        counts.push_back(std::max(static_cast<int>(Brokers.size()), std::atoi(argv[i])));
    if (counts.empty())
        counts.push_back(1000);
    std::sort(counts.begin(), counts.end());

    SystemdServiceSource source;
    PrintedBoxes boxes;
    BrokerServiceScan scan(source, boxes);
    int installed = 0;
    for (const int services : counts) {
        if (!InstallServices(installed, services)) {
            std::fprintf(stderr, "installing %d services failed\n", services);
            return 1;
        }
        installed = services;
        const auto [scanned, scans] = MedianMilliseconds([&] { return Scan(scan, boxes); });
        const auto [listed, listings] = MedianMilliseconds(Listings);
        if (scanned < 0 || listed < 0) {
            std::fprintf(stderr, "%s failed at %d services\n", scanned < 0 ? "a scan" : "a listing", services);
            return 1;
        }
        std::printf("services %d: scan %.1f ms, listings %.1f ms, ratio %.4f (medians of %d and %d runs)\n",
                    services, scanned, listed, scanned / listed, scans, listings);
        std::fflush(stdout);
    }
    return 0;
}
