#include "mail/relaypassword.h"
#include "monitor/monitorwindow_win32.h"
#include "monitor/tarvikbrokerservicecheck.h"
#include "monitor/windowplatform_win32.h"
#include "platform/os/commandline_win32.h"
#include "platform/os/secretinput.h"

int main()
{
    const std::vector<std::string> arguments = CommandLineArguments();
    // Once, as an administrator: Event Viewer then words the records with the program's table.
    if (arguments == std::vector<std::string>{"--register-event-source"}) {
        const auto failure = RegisterEventSourceKey(MonitorEvents::ProgramName);
        WriteStandardOutput(failure ? "The event source could not be registered: " + *failure + "\n"
                                    : std::string("The event source is registered.\n"));
        return failure ? 1 : 0;
    }
    if (RelayPassword::Asked(arguments)) {
        std::string out;
        CredentialManagerStore store;
        const int status = RelayPassword::Run(arguments, store, [] { return ReadSecretLine("Password: "); }, out);
        WriteStandardOutput(out);
        return status;
    }
    if (BrokerCheck::Asked(arguments)) {
        std::string out;
        const int status = RunBrokerCheck(arguments, out);
        WriteStandardOutput(out);
        // A reading given up on may still be inside WMI, and nothing of COM may hold up the end of
        // an engine's check; the line has been written, and nothing else is left to keep.
        TerminateProcess(GetCurrentProcess(), static_cast<UINT>(status));
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
