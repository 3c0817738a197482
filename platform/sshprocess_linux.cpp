#include "platform/sshprocess_linux.h"

#include <cerrno>
#include <csignal>
#include <chrono>
#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

extern char **environ;

namespace {

constexpr std::size_t KeptBytes = 4096;
// An ssh that failed has already written its reason when its connection ends; it only
// needs a moment to exit.
constexpr std::chrono::milliseconds EndWait{200};

// Puts `source` in the child's place of `target` for every spawn with `actions`.
int Redirect(posix_spawn_file_actions_t &actions, int source, int target)
{
    return posix_spawn_file_actions_adddup2(&actions, source, target);
}

} // namespace

int SshProcess::Start(const std::vector<std::string> &arguments, std::unique_ptr<SshProcess> &process, int &busSocket)
{
    int sockets[2], errors[2];
    if (socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, sockets) < 0)
        return -errno;
    if (pipe2(errors, O_CLOEXEC | O_NONBLOCK) < 0) {
        const int error = -errno;
        close(sockets[0]);
        close(sockets[1]);
        return error;
    }
    std::vector<char *> argv{const_cast<char *>("ssh")};
    for (const std::string &argument : arguments)
        argv.push_back(const_cast<char *>(argument.c_str()));
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    int r = Redirect(actions, sockets[1], STDIN_FILENO);
    if (r == 0)
        r = Redirect(actions, sockets[1], STDOUT_FILENO);
    if (r == 0)
        r = Redirect(actions, errors[1], STDERR_FILENO);
    pid_t pid = 0;
    if (r == 0)
        r = posix_spawnp(&pid, "ssh", &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    close(sockets[1]);
    close(errors[1]);
    if (r != 0) {
        close(sockets[0]);
        close(errors[0]);
        return -r;
    }
    process.reset(new SshProcess(pid, errors[0]));
    busSocket = sockets[0];
    return 0;
}

SshProcess::~SshProcess()
{
    // Its bus connection is closed by now, which ends a healthy ssh by itself; one that
    // hangs on a silent host is ended here.
    kill(Pid, SIGTERM);
    while (waitpid(Pid, nullptr, 0) < 0 && errno == EINTR) {
    }
    close(Errors);
}

// Reads what ssh has said until it ends, which closes its standard error, or until a moment
// has passed. False when ssh is still running.
bool SshProcess::AwaitEnd()
{
    char buffer[KeptBytes];
    const auto deadline = std::chrono::steady_clock::now() + EndWait;
    for (;;) {
        const ssize_t n = read(Errors, buffer, sizeof buffer);
        if (n == 0)
            return true;
        if (n > 0) {
            Said.append(buffer, std::size_t(n));
            Said.erase(0, Said.size() > KeptBytes ? Said.size() - KeptBytes : 0);
            continue;
        }
        const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
        pollfd readable{Errors, POLLIN, 0};
        if (errno != EAGAIN || left.count() <= 0 || poll(&readable, 1, int(left.count())) < 0)
            return false;
    }
}

// Only an ssh that has ended speaks for the failure: one still running has nothing to say
// about it, and what it said before (a server's banner, a warning) would only mislead.
std::string SshProcess::LastWords()
{
    if (!AwaitEnd())
        return {};
    const std::size_t end = Said.find_last_not_of(" \t\r\n");
    if (end == std::string::npos)
        return {};
    const std::size_t newline = Said.rfind('\n', end);
    const std::size_t start = newline == std::string::npos ? 0 : newline + 1;
    return Said.substr(start, end + 1 - start);
}
