#pragma once

#include "inspection/brokercheck.h"
#include "monitor/monitorevents.h"
#include "monitor/monitorplatform.h"
#include "platform/events/eventloop_qt.h"
#include "platform/events/threadworker.h"
#include "platform/log/queuedlog.h"
#include "platform/log/systemlog_systemd.h"
#include "platform/net/mailsocket_qt.h"
#include "platform/os/credentialstore_linux.h"
#include "platform/services/servicesource_systemd.h"
#include "platform/time/clocks_qt.h"
#include "platform/time/tickcounter_linux.h"
#include "platform/ui/closebox_qt.h"
#include "platform/ui/messagebox_qt.h"
#include "platform/ui/numberformat_qt.h"

#include <QCoreApplication>

// The check for monitoring engines on this platform: no window and no display, the reading on
// the worker while a plain event loop waits. Needs a QCoreApplication.
inline int RunBrokerCheck(const std::vector<std::string> &arguments, std::string &out)
{
    QtEventLoop loop;
    ThreadWorker worker;
    LinuxTickCounter ticks;
    return BrokerCheck::Run(arguments, std::make_shared<SystemdServiceSource>(), worker, {ticks, loop, loop}, out);
}

// The real platform the window runs on, owned in one place.
struct QtWindowPlatform {
    QtMessageBox Boxes;
    QtEventLoop Loop;
    QtClocks Clock;
    QtNumberFormat Numbers;
    QtMailSocket Winsock1;
    std::shared_ptr<CredentialStore> Credentials = std::make_shared<SecretServiceStore>();
    ThreadWorker CredentialsWorker;
    std::shared_ptr<ServiceSource> Source = std::make_shared<SystemdServiceSource>();
    LinuxTickCounter Ticks;
    QtCloseBox CloseBox;
    ThreadWorker Background;
    QueuedLog Log{std::make_unique<JournalLog>(MonitorEvents::ProgramName)};

    // The window exists only after the services it is built from.
    void Attach(QWidget *window) { Boxes.SetOwner(window); }

    MonitorPlatform Monitor()
    {
        return {{Boxes, Loop, Loop, Clock, Ticks, Numbers, Background}, Winsock1, Credentials, CredentialsWorker, Source,
                CloseBox, Log, [this] { EndProgram(); }};
    }

    void EndProgram()
    {
        Loop.Abandon();
        Boxes.Abandon();
        QCoreApplication::quit();
    }
};
