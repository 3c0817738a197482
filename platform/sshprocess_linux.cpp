#include "platform/sshprocess_linux.h"

#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

extern char **environ;

namespace {

constexpr std::size_t KeptBytes = 4096;

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

std::string SshProcess::LastWords()
{
    char buffer[KeptBytes];
    for (ssize_t n; (n = read(Errors, buffer, sizeof buffer)) > 0;) {
        Said.append(buffer, std::size_t(n));
        if (Said.size() > KeptBytes)
            Said.erase(0, Said.size() - KeptBytes);
    }
    const std::size_t end = Said.find_last_not_of(" \t\r\n");
    if (end == std::string::npos)
        return {};
    const std::size_t newline = Said.rfind('\n', end);
    const std::size_t start = newline == std::string::npos ? 0 : newline + 1;
    return Said.substr(start, end + 1 - start);
}
