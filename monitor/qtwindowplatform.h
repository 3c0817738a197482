#pragma once

#include "inspection/brokercheck.h"
#include "monitor/monitorplatform.h"
#include "platform/clocks_qt.h"
#include "platform/closebox_qt.h"
#include "platform/eventloop_qt.h"
#include "platform/mailsocket_qt.h"
#include "platform/messagebox_qt.h"
#include "platform/numberformat_qt.h"
#include "platform/servicesource_systemd.h"
#include "platform/threadworker.h"
#include "platform/tickcounter_linux.h"

#include <QCoreApplication>

// The check for monitoring engines on this platform: no window and no display, the reading on
// the worker while a plain event loop waits. Needs a QCoreApplication.
inline int RunBrokerCheck(const std::vector<std::string> &arguments, std::shared_ptr<ServiceSource> source,
                          std::string &out)
{
    QtEventLoop loop;
    ThreadWorker worker;
    LinuxTickCounter ticks;
    return BrokerCheck::Run(arguments, std::move(source), worker, {ticks, loop, loop}, out);
}

// The real platform the window runs on, owned in one place.
struct QtWindowPlatform {
    QtMessageBox Boxes;
    QtEventLoop Loop;
    QtClocks Clock;
    QtNumberFormat Numbers;
    QtMailSocket Winsock1;
    std::shared_ptr<ServiceSource> Source = std::make_shared<SystemdServiceSource>();
    LinuxTickCounter Ticks;
    QtCloseBox CloseBox;
    ThreadWorker Background;

    MonitorPlatform Monitor()
    {
        return {{Boxes, Loop, Loop, Clock, Ticks, Numbers, Background}, Winsock1, Source, CloseBox, [this] { EndProgram(); }};
    }

    void EndProgram()
    {
        Loop.Abandon();
        Boxes.Abandon();
        QCoreApplication::quit();
    }
};
