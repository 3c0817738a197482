#pragma once

#include "mail/notificationmail.h"
#include "platform/clocks_qt.h"
#include "platform/eventloop_qt.h"
#include "platform/mailsocket_qt.h"
#include "platform/numberformat_qt.h"
#include "tests/support/portredirectingsocket.h"
#include "tests/support/recordingmessageboxes.h"

// The mail part on the real platform as the window runs it, with message boxes recorded
// instead of shown. Port 25 leads where it always does; another port is a test server's.
struct RealMail {
    explicit RealMail(int32_t port = 25) : Socket(RealSocket, port) {}

    // The mail the monitoring cycle sends, to and from the same address.
    void SendNotification(const std::string &host, const std::string &body)
    {
        Mail.SendEmail(host, "TarvikBroker", "ops@example.org", "TarvikBrokerQueue", "ops@example.org",
                       "Tarvik Broker Service Check Message", body);
    }

    QtEventLoop Loop;
    QtClocks Clock{QLocale::c()};
    QtNumberFormat Numbers{QLocale::c()};
    RecordingMessageBoxes Boxes;
    QtMailSocket RealSocket;
    PortRedirectingSocket Socket;
    NotificationMail Mail{Socket, {Boxes, Loop, Loop, Clock, Numbers}, [](const std::string &) {}};
};
