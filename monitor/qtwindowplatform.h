#pragma once

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
