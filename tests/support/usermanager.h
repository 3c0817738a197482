#pragma once

#include <QString>
#include <QStringList>

// Drives the private user manager that tests/support/with-user-manager.sh starts.
namespace UserManager {

// A unit file for a service that runs until it is stopped.
inline const QString Sleeper = "[Service]\nExecStart=/bin/sleep infinity\n";

// Writes $HOME/.config/systemd/user/NAME.service.
bool InstallUnit(const QString &name, const QString &text);
// systemctl --user ARGUMENTS; its exit code, -1 when it did not finish.
int Systemctl(const QStringList &arguments);
// Jobs run after systemctl returns; waits (bounded) until the unit shows the state.
bool AwaitState(const QString &unit, const QString &activeState);

} // namespace UserManager
