#pragma once

#include "tests/support/runprogram.h"

#include <QDir>

// Drives the private user manager that tests/support/with-user-manager.sh starts.
namespace UserManager {

// A unit file for a service that runs until it is stopped.
inline const QString Sleeper = "[Service]\nExecStart=/bin/sleep infinity\n";

// Writes $HOME/.config/systemd/user/NAME.service.
inline bool InstallUnit(const QString &name, const QString &text = Sleeper)
{
    const QString folder = QDir::homePath() + "/.config/systemd/user";
    QFile unit(folder + "/" + name + ".service");
    return QDir().mkpath(folder) && unit.open(QIODevice::WriteOnly) && unit.write(text.toUtf8()) == text.toUtf8().size();
}

// systemctl --user ARGUMENTS, which waits for the jobs it starts; its exit code, -1 when it
// did not finish.
inline int Systemctl(const QStringList &arguments)
{
    return RunProgram("systemctl", QStringList{"--user"} + arguments).Status;
}

} // namespace UserManager
