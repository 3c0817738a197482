// Times one broker scan, as the monitor runs it, against the two systemctl listings that
// show the same services, on a manager with 1,000 installed services of which 3 are brokers.
// Runs beside a private user manager: bench/run-scan-bench.sh.
#include <QCoreApplication>
#include <QElapsedTimer>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <vector>

#include "platform/servicesource_systemd.h"
#include "tests/support/usermanager.h"

namespace {

constexpr int Services = 1000;
constexpr int Runs = 5;
const QStringList Brokers = {"TarvikBroker", "tarvik-broker-2", "MyBrokerSvc"};

bool InstallServices()
{
    QStringList names = Brokers;
    for (int i = names.size(); i < Services; ++i)
        names << QString("worker-%1").arg(i, 4, 10, QChar('0'));
    const bool installed = std::all_of(names.begin(), names.end(), [](const QString &name) {
        return UserManager::InstallUnit(name, "[Service]\nExecStart=/bin/sleep infinity\n");
    });
    return installed && UserManager::Systemctl({"daemon-reload"}) == 0
        && UserManager::Systemctl({"start", Brokers[0], Brokers[1]}) == 0;
}

// One scan: the listing, then every property of each delivered service.
bool Scan()
{
    std::unique_ptr<ServiceCollection> services;
    auto failure = SystemdServiceSource().InstancesOf("winmgmts:{impersonationLevel=impersonate}!//localhost",
                                                      "Win32_Service", "*[Bb][Rr][Oo][Kk][Ee][Rr]*", services);
    BrokerService service;
    for (std::size_t i = 0; !failure && i < services->Count(); ++i)
        failure = services->Read(i, service);
    if (failure)
        std::fprintf(stderr, "scan failed: %s --> %s\n", failure->Source.c_str(), failure->Description.c_str());
    return !failure && services->Count() == static_cast<std::size_t>(Brokers.size());
}

bool Listings()
{
    return UserManager::Systemctl({"list-units", "--type=service", "--all"}) == 0
        && UserManager::Systemctl({"list-unit-files", "--type=service"}) == 0;
}

// Median wall time of `Runs` runs in milliseconds, or a negative number when a run failed.
double MedianMilliseconds(const std::function<bool()> &run)
{
    std::vector<double> times;
    for (int i = 0; i < Runs; ++i) {
        QElapsedTimer timer;
        timer.start();
        if (!run())
            return -1;
        times.push_back(timer.nsecsElapsed() / 1e6);
    }
    std::sort(times.begin(), times.end());
    return times[times.size() / 2];
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication application(argc, argv);
    if (!InstallServices()) {
        std::fprintf(stderr, "installing %d services failed\n", Services);
        return 1;
    }
    const double scan = MedianMilliseconds(Scan);
    const double listings = MedianMilliseconds(Listings);
    if (scan < 0 || listings < 0)
        return 1;
    std::printf("%d installed services, %lld brokers; median of %d runs each\n", Services,
                static_cast<long long>(Brokers.size()), Runs);
    std::printf("scan (listing + reads):                   %9.1f ms\n", scan);
    std::printf("systemctl list-units + list-unit-files:   %9.1f ms\n", listings);
    std::printf("ratio scan / listings: %.4f (target: at most 0.05)\n", scan / listings);
    return 0;
}
