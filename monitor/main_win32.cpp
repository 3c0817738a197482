#include "monitor/monitorwindow_win32.h"
#include "monitor/tarvikbrokerservicecheck.h"
#include "monitor/windowplatform_win32.h"
#include "platform/os/commandline_win32.h"

int main()
{
    const std::vector<std::string> arguments = CommandLineArguments();
    if (BrokerCheck::Asked(arguments)) {
        std::string out;
        const int status = RunBrokerCheck(arguments, out);
        WriteStandardOutput(out);
        return status;
    }
    Win32WindowPlatform platform;
    Win32MonitorWindow window;
    platform.Attach(window.Handle());
    TarvikBrokerServiceCheck monitor(platform.Monitor(), window);
    window.Wire(monitor);
    window.Show();
    return platform.Loop.Run();
}
