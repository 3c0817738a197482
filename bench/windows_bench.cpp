// What the Windows program costs under Wine: one scan over WMI against the service manager's
// own listing of every service, on a Wine prefix holding 300 services of ours (3 of them brokers, one running), and the
// time from starting the program to its window being shown, and how soon a server that cannot
// be reached ends the scan with its failure. Run it through bench/run-windows,
// which gives it a prefix of its own and a display.
#include "inspection/brokerservicescan.h"
#include "platform/events/eventloop_win32.h"
#include "platform/events/threadworker.h"
#include "platform/os/handles_win32.h"
#include "platform/os/widetext_win32.h"
#include "platform/services/servicesource_wmi.h"
#include "platform/time/tickcounter_win32.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <functional>
#include <memory>
#include <vector>

namespace {

constexpr int Runs = 5;
constexpr int Services = 300;
constexpr int Brokers = 3;

struct ServiceHandleDeleter {
    void operator()(SC_HANDLE handle) const { CloseServiceHandle(handle); }
};
using ServiceHandle = std::unique_ptr<SC_HANDLE__, ServiceHandleDeleter>;

double Median(std::vector<double> times)
{
    std::sort(times.begin(), times.end());
    return times[times.size() / 2];
}

double MedianMilliseconds(const std::function<bool()> &run)
{
    std::vector<double> times;
    for (int i = 0; i < Runs; ++i) {
        const auto start = std::chrono::steady_clock::now();
        if (!run())
            return -1;
        times.push_back(std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count());
    }
    return Median(times);
}

// The longest the window's thread went without serving a timer that ticks as often as the
// system lets one tick (every 10 ms), while a scan runs.
struct Stalls {
    static inline std::chrono::steady_clock::time_point Last;
    static inline double Longest = 0;

    static void CALLBACK Ticked(HWND, UINT, UINT_PTR, DWORD)
    {
        const auto now = std::chrono::steady_clock::now();
        Longest = std::max(Longest, std::chrono::duration<double, std::milli>(now - Last).count());
        Last = now;
    }
};

double LongestStallMilliseconds(const std::function<void()> &scan)
{
    Stalls::Longest = 0;
    Stalls::Last = std::chrono::steady_clock::now();
    const UINT_PTR timer = SetTimer(nullptr, 0, USER_TIMER_MINIMUM, Stalls::Ticked);
    scan();
    KillTimer(nullptr, timer);
    Stalls::Ticked(nullptr, 0, 0, 0);
    return Stalls::Longest;
}

// Every service runs `program` when started; only the first broker is.
bool InstallServices(const std::wstring &program)
{
    const ServiceHandle manager(OpenSCManagerW(nullptr, nullptr, SC_MANAGER_ALL_ACCESS));
    for (int i = 0; manager && i < Services; ++i) {
        wchar_t name[64];
        swprintf(name, 64, i < Brokers ? L"bench-broker-%03d" : L"bench-worker-%03d", i);
        const ServiceHandle service(CreateServiceW(manager.get(), name, name, SERVICE_ALL_ACCESS,
                                                   SERVICE_WIN32_OWN_PROCESS, SERVICE_DEMAND_START,
                                                   SERVICE_ERROR_NORMAL, program.c_str(), nullptr, nullptr,
                                                   nullptr, nullptr, nullptr));
        if (!service || (i == 0 && !StartServiceW(service.get(), 0, nullptr)))
            return false;
    }
    return manager != nullptr;
}

// What `sc query state= all` does on Windows, without printing: Wine 8's sc.exe lists only
// services named one by one.
bool ListedByManager()
{
    const ServiceHandle manager(OpenSCManagerW(nullptr, nullptr, SC_MANAGER_ENUMERATE_SERVICE));
    DWORD size = 0, count = 0, resume = 0;
    EnumServicesStatusExW(manager.get(), SC_ENUM_PROCESS_INFO, SERVICE_WIN32, SERVICE_STATE_ALL, nullptr, 0, &size,
                          &count, &resume, nullptr);
    std::vector<BYTE> buffer(size);
    resume = 0;
    return EnumServicesStatusExW(manager.get(), SC_ENUM_PROCESS_INFO, SERVICE_WIN32, SERVICE_STATE_ALL, buffer.data(),
                                 size, &size, &count, &resume, nullptr) &&
           count >= Services;
}

// Polled every millisecond; the window counts as shown once it is visible.
bool WindowShown(std::wstring monitor)
{
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process{};
    if (!CreateProcessW(nullptr, monitor.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &process))
        return false;
    CloseHandle(process.hThread);
    const HandlePtr program(process.hProcess);
    bool shown = false;
    for (int i = 0; !shown && i < 20000; ++i, Sleep(1))
        shown = IsWindowVisible(FindWindowW(nullptr, L"Broker Services Monitor"));
    TerminateProcess(program.get(), 0);
    WaitForSingleObject(program.get(), 10000);
    return shown;
}

} // namespace

int main(int argc, char **argv)
{
    if (argc != 3) {
        std::fprintf(stderr, "usage: windows_bench SERVICE.exe MONITOR.exe (Windows paths)\n");
        return 2;
    }
    if (!InstallServices(WideFromUtf8(argv[1]))) {
        std::fprintf(stderr, "could not install the services: error %lu\n", GetLastError());
        return 1;
    }
    Win32EventLoop loop;
    Win32TickCounter ticks;
    ThreadWorker worker;
    const auto source = std::make_shared<WmiServiceSource>();
    BrokerServiceScan scan;
    // A scan as the window runs it: the reading on the worker while this thread pumps its
    // messages, then the report.
    const auto scanOf = [&](const std::string &server) {
        const int32_t noLimit = -1;
        return scan.ScanBrokerServices(server, false,
                                       *ReadBrokersOffThread(source, server, noLimit, worker, {ticks, loop, loop}));
    };
    std::string report;
    const double scanned = MedianMilliseconds([&] {
        const ScanResult local = scanOf("localhost");
        report = local.Report;
        return !local.Failure;
    });
    const double stall = LongestStallMilliseconds([&] { scanOf("localhost"); });
    const double listed = MedianMilliseconds(ListedByManager);
    const double started = MedianMilliseconds([&] { return WindowShown(WideFromUtf8(argv[2])); });
    const double refused = MedianMilliseconds([&] { return scanOf("unreachable.invalid").Failure.has_value(); });
    if (scanned < 0 || listed < 0 || started < 0 || refused < 0 || report.find("Running") == std::string::npos) {
        std::fprintf(stderr, "a run failed:\n%s\n", report.c_str());
        return 1;
    }
    std::printf("scan of %d services: %.1f ms (%.2f ms a service), the service manager's listing %.1f ms, ratio %.1f\n",
                Services, scanned, scanned / Services, listed, scanned / listed);
    std::printf("longest stall of the window's thread during a scan: %.1f ms (a timer every 10 ms)\n", stall);
    std::printf("start to window shown: median %.3f s of %d\n", started / 1000, Runs);
    std::printf("unreachable server to its failure: %.1f ms\n", refused);
}
