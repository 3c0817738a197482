#pragma once

// Lists services through the real systemd source the way the scan asks for them, beside the
// private user manager and sshd that with-user-manager.sh and with-sshd.sh start.
#include <QStringList>

#include "platform/servicesource_systemd.h"
#include "tests/support/usermanager.h"

using UserManager::Sleeper;

inline std::optional<SourceFailure> List(const QString &server, std::unique_ptr<ServiceCollection> &services,
                                         std::chrono::milliseconds timeout = std::chrono::seconds(10))
{
    return SystemdServiceSource(timeout).InstancesOf("winmgmts:{impersonationLevel=impersonate}!//" + server.toStdString(),
                                                     "Win32_Service", "*[Bb][Rr][Oo][Kk][Ee][Rr]*", services);
}

inline QStringList NamesOf(const ServiceCollection &services)
{
    QStringList names;
    for (std::size_t i = 0; i < services.Count(); ++i)
        names << QString::fromStdString(services.Name(i));
    return names;
}

// Empty outside the harness, where a test must not touch this machine's own units.
inline QString SshPort() { return qEnvironmentVariable("BROKER_TEST_SSH_PORT"); }
