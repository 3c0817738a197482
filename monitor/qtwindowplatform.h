#pragma once

#include "platform/clocks_qt.h"
#include "platform/eventloop_qt.h"
#include "platform/mailsocket_qt.h"
#include "platform/messagebox_qt.h"
#include "platform/numberformat_qt.h"
#include "platform/windowservices.h"

// The real platform the window runs on, owned in one place.
struct QtWindowPlatform {
    QtMessageBox Boxes;
    QtEventLoop Loop;
    QtClocks Clock;
    QtNumberFormat Numbers;
    QtMailSocket Winsock1;

    WindowServices Services() { return {Boxes, Loop, Loop, Clock, Numbers}; }
};
