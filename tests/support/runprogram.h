#pragma once

#include <QByteArray>
#include <QStringList>

#include <cstdio>

#include <sys/wait.h>

// How a program ended: its exit code (124 when it ran over a minute, -1 when it was killed); and
// what it wrote to its standard output.
struct Ran {
    int Status = -1;
    QByteArray Output;
};

// Runs PROGRAM, found on PATH, with ARGUMENTS and without the environment variables UNSET, for a
// minute at most. popen, which glibc starts with posix_spawn, rather than QProcess: the process
// that QProcess forks from is taken by ThreadSanitizer for a forked child, whose threads it no
// longer watches.
inline Ran RunProgram(const QString &program, const QStringList &arguments, const QStringList &unset = {})
{
    QString command = "exec timeout 60 env";
    for (const QString &name : unset)
        command += " -u " + name;
    for (QString word : QStringList{program} + arguments)
        command += " '" + word.replace("'", "'\\''") + "'";
    Ran ran;
    FILE *output = popen(command.toLocal8Bit().constData(), "r");
    if (!output)
        return ran;
    char buffer[4096];
    for (std::size_t size; (size = std::fread(buffer, 1, sizeof buffer, output)) > 0;)
        ran.Output.append(buffer, static_cast<qsizetype>(size));
    const int status = pclose(output);
    ran.Status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return ran;
}
