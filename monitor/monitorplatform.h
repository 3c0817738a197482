#pragma once

#include "platform/log/systemlog.h"
#include "platform/net/mailsocket.h"
#include "platform/os/credentialstore.h"
#include "platform/services/servicesource.h"
#include "platform/ui/closebox.h"
#include "platform/ui/windowservices.h"

#include <functional>
#include <memory>

// Everything the window reaches the platform through: the real one in the program,
// doubles in the tests.
struct MonitorPlatform {
    WindowServices Services;
    MailSocket &Winsock1;
    // The relay's password: the store, and a worker of its own to ask it on, so that a question
    // still waiting holds up no scan.
    std::shared_ptr<CredentialStore> Credentials;
    Worker &CredentialsWorker;
    // Shared with the job that reads it, which may outlive the window.
    std::shared_ptr<ServiceSource> Source;
    CloseBoxControl &CloseBox;
    // What happened, for whoever was not at the window.
    SystemLog &Log;
    // Ends the program once the window has been unloaded: waits still pending on the
    // stack return at once and show nothing more, so the stack unwinds before the
    // window is destroyed.
    std::function<void()> EndProgram;
};
