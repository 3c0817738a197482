#include "tests/support/usermanager.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QThread>

namespace UserManager {

bool InstallUnit(const QString &name, const QString &text)
{
    const QString folder = QDir::homePath() + "/.config/systemd/user";
    QDir().mkpath(folder);
    QFile unit(folder + "/" + name + ".service");
    return unit.open(QIODevice::WriteOnly) && unit.write(text.toUtf8()) == text.toUtf8().size();
}

int Systemctl(const QStringList &arguments)
{
    QProcess systemctl;
    systemctl.start("systemctl", QStringList{"--user"} + arguments);
    const bool finished = systemctl.waitForFinished(30000);
    return finished && systemctl.exitStatus() == QProcess::NormalExit ? systemctl.exitCode() : -1;
}

bool AwaitState(const QString &unit, const QString &activeState)
{
    const QDeadlineTimer deadline(10000);
    for (QProcess show; !deadline.hasExpired(); QThread::msleep(50)) {
        show.start("systemctl", {"--user", "show", "-P", "ActiveState", unit});
        if (show.waitForFinished(10000) && show.readAll().trimmed() == activeState)
            return true;
    }
    return false;
}

} // namespace UserManager
