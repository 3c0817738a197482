#pragma once

#include "inspection/brokercheck.h"
#include "monitor/monitorevents.h"
#include "monitor/monitorplatform.h"
#include "platform/events/eventloop_win32.h"
#include "platform/events/threadworker.h"
#include "platform/log/queuedlog.h"
#include "platform/log/systemlog_win32.h"
#include "platform/net/mailsocket_win32.h"
#include "platform/os/credentialstore_win32.h"
#include "platform/services/servicesource_wmi.h"
#include "platform/time/clocks_win32.h"
#include "platform/time/tickcounter_win32.h"
#include "platform/ui/closebox_win32.h"
#include "platform/ui/messagebox_win32.h"
#include "platform/ui/numberformat_win32.h"

// The check for monitoring engines on this platform: no window, the reading on the worker
// while the thread's message loop waits.
inline int RunBrokerCheck(const std::vector<std::string> &arguments, std::string &out)
{
    Win32EventLoop loop;
    ThreadWorker worker;
    Win32TickCounter ticks;
    return BrokerCheck::Run(arguments, std::make_shared<WmiServiceSource>(), worker, {ticks, loop, loop}, out);
}

// The real platform the window runs on, owned in one place.
struct Win32WindowPlatform {
    Win32MessageBox Boxes{"Tarvik Broker ServiceCheck"};
    Win32EventLoop Loop;
    Win32Clocks Clock;
    Win32NumberFormat Numbers;
    Win32MailSocket Winsock1;
    std::shared_ptr<CredentialStore> Credentials = std::make_shared<CredentialManagerStore>();
    ThreadWorker CredentialsWorker;
    std::shared_ptr<ServiceSource> Source = std::make_shared<WmiServiceSource>();
    Win32TickCounter Ticks;
    Win32CloseBox CloseBox;
    ThreadWorker Background;
    QueuedLog Log{std::make_unique<WindowsEventLog>(MonitorEvents::ProgramName)};

    // The window exists only after the services it is built from.
    void Attach(WindowHandle window)
    {
        Boxes.SetOwner(window);
        Loop.SetDialogWindow(window);
    }

    MonitorPlatform Monitor()
    {
        return {{Boxes, Loop, Loop, Clock, Ticks, Numbers, Background}, Winsock1, Credentials, CredentialsWorker, Source,
                CloseBox, Log, [this] { EndProgram(); }};
    }

    // The quit ends the main loop only once the handlers on the stack have returned, which
    // the abandoned waits and boxes let them do at once.
    void EndProgram()
    {
        Loop.Abandon();
        Boxes.Abandon();
        PostQuitMessage(0);
    }
};
