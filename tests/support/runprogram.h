#pragma once

#include <QByteArray>
#include <QStringList>

#include <chrono>
#include <vector>

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

extern char **environ;

// How a program ended: its exit code, or -1 when it was killed or ran over a minute; and what
// it wrote to its standard output.
struct Ran {
    int Status = -1;
    QByteArray Output;
};

// Runs PROGRAM, found on PATH, with ARGUMENTS and without the environment variables UNSET, and
// waits for it. posix_spawn rather than QProcess: ThreadSanitizer takes the process that
// QProcess forks from for a forked child, and stops watching its threads.
inline Ran RunProgram(const QString &program, const QStringList &arguments, const QStringList &unset = {})
{
    std::vector<QByteArray> words{program.toLocal8Bit()};
    for (const QString &argument : arguments)
        words.push_back(argument.toLocal8Bit());
    std::vector<char *> argv, environment;
    for (QByteArray &word : words)
        argv.push_back(word.data());
    argv.push_back(nullptr);
    for (char **variable = environ; *variable; ++variable)
        if (!unset.contains(QString::fromLocal8Bit(*variable).section('=', 0, 0)))
            environment.push_back(*variable);
    environment.push_back(nullptr);
    Ran ran;
    int output[2];
    if (pipe2(output, O_CLOEXEC) < 0)
        return ran;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, output[1], STDOUT_FILENO);
    pid_t pid = 0;
    const int started = posix_spawnp(&pid, argv[0], &actions, nullptr, argv.data(), environment.data());
    posix_spawn_file_actions_destroy(&actions);
    close(output[1]);
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::minutes(1);
    pollfd readable{output[0], POLLIN, 0};
    char buffer[4096];
    for (ssize_t size = 1; started == 0 && size > 0;) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
        size = left.count() > 0 && poll(&readable, 1, int(left.count())) > 0 ? read(output[0], buffer, sizeof buffer) : -1;
        ran.Output.append(buffer, size > 0 ? size : 0);
    }
    close(output[0]);
    int status = 0;
    if (started == 0 && (std::chrono::steady_clock::now() < deadline || kill(pid, SIGKILL) == 0) &&
        waitpid(pid, &status, 0) == pid && WIFEXITED(status))
        ran.Status = WEXITSTATUS(status);
    return ran;
}
