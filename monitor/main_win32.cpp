#include "inspection/brokercheck.h"
#include "monitor/monitorwindow_win32.h"
#include "monitor/tarvikbrokerservicecheck.h"
#include "monitor/windowplatform_win32.h"
#include "platform/commandline_win32.h"

namespace {

// No window: the check is read on the worker while the thread's message loop waits.
int RunCheck(const std::vector<std::string> &arguments)
{
    Win32EventLoop loop;
    ThreadWorker worker;
    Win32TickCounter ticks;
    std::string out;
    const int status = BrokerCheck::Run(arguments, std::make_shared<WmiServiceSource>(), worker,
                                        {ticks, loop, loop}, out);
    WriteStandardOutput(out);
    return status;
}

} // namespace

int main()
{
    const std::vector<std::string> arguments = CommandLineArguments();
    if (BrokerCheck::Asked(arguments))
        return RunCheck(arguments);
    Win32WindowPlatform platform;
    Win32MonitorWindow window;
    platform.Attach(window.Handle());
    TarvikBrokerServiceCheck monitor(platform.Monitor(), window);
    window.Wire(monitor);
    window.Show();
    return platform.Loop.Run();
}
