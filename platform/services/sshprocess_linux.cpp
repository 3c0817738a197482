#include "platform/services/sshprocess_linux.h"

#include <cerrno>
#include <csignal>
#include <chrono>
#include <fcntl.h>
#include <poll.h>
#include <sys/prctl.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

constexpr std::size_t KeptBytes = 4096;
// An ssh that failed has already written its reason when its connection ends; it only
// needs a moment to exit.
constexpr std::chrono::milliseconds EndWait{200};

// In the child, between fork and exec: only calls that are safe while the parent's other
// threads may hold locks the child inherited. Why ssh could not run goes back through
// `report`, which closes by itself once ssh runs.
[[noreturn]] void ExecSsh(char *const argv[], int busSocket, int errors, int report, pid_t parent)
{
    // A reading the program gave up on may still wait on ssh as the program ends: ssh ends with
    // the thread that started it, however that thread ends, and the server's session with it.
    if (prctl(PR_SET_PDEATHSIG, SIGTERM) == 0 && getppid() == parent && dup2(busSocket, STDIN_FILENO) >= 0 &&
        dup2(busSocket, STDOUT_FILENO) >= 0 && dup2(errors, STDERR_FILENO) >= 0)
        execvp("ssh", argv);
    const int error = errno;
    [[maybe_unused]] const ssize_t written = write(report, &error, sizeof error);
    _exit(127);
}

// Runs ssh with its standard input and output on `busSocket` and its standard error on
// `errors`; 0 or an errno. `pid` is written only on success.
int Spawn(const std::vector<std::string> &arguments, int busSocket, int errors, pid_t &pid)
{
    std::vector<char *> argv{const_cast<char *>("ssh")};
    for (const std::string &argument : arguments)
        argv.push_back(const_cast<char *>(argument.c_str()));
    argv.push_back(nullptr);
    int ends[2];
    if (pipe2(ends, O_CLOEXEC) < 0)
        return errno;
    UniqueFd failure(ends[0]), report(ends[1]);
    const pid_t parent = getpid();
    const pid_t started = fork();
    if (started < 0)
        return errno;
    if (started == 0)
        ExecSsh(argv.data(), busSocket, errors, report.Get(), parent);
    report = UniqueFd();
    int error = 0;
    ssize_t size = 0;
    while ((size = read(failure.Get(), &error, sizeof error)) < 0 && errno == EINTR) {
    }
    if (size == sizeof error) {
        while (waitpid(started, nullptr, 0) < 0 && errno == EINTR) {
        }
        return error;
    }
    pid = started;
    return 0;
}

} // namespace

int SshProcess::Start(const std::vector<std::string> &arguments, std::unique_ptr<SshProcess> &process, UniqueFd &busSocket)
{
    int ends[2];
    if (socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, ends) < 0)
        return -errno;
    UniqueFd ourBus(ends[0]), sshsBus(ends[1]);
    // Both ends block: ssh takes a full pipe for a failed write and drops what it meant to
    // say, so it waits for our reader instead.
    if (pipe2(ends, O_CLOEXEC) < 0)
        return -errno;
    UniqueFd ourErrors(ends[0]), sshsErrors(ends[1]);
    UniqueFd stop(eventfd(0, EFD_CLOEXEC));
    if (stop.Get() < 0)
        return -errno;
    // The reader starts before ssh does, so that no ssh is left behind if it cannot.
    std::unique_ptr<SshProcess> started(new SshProcess(std::move(ourErrors), std::move(stop)));
    if (const int r = Spawn(arguments, sshsBus.Get(), sshsErrors.Get(), started->Pid); r != 0)
        return -r;
    process = std::move(started);
    busSocket = std::move(ourBus);
    return 0;
}

// ssh's standard error is read on a thread of its own for as long as ssh runs: sd-bus waits
// inside its own calls, where no other descriptor can be served, and a call to a large or
// slow manager can wait long enough for ssh to fill the pipe.
SshProcess::SshProcess(UniqueFd errors, UniqueFd stop)
    : Errors(std::move(errors)), Stop(std::move(stop)), Reader(&SshProcess::ReadErrors, this)
{
}

SshProcess::~SshProcess()
{
    // Its bus connection is closed by now, which ends a healthy ssh by itself; one that
    // hangs on a silent host is ended here.
    if (Pid > 0) {
        kill(Pid, SIGTERM);
        while (waitpid(Pid, nullptr, 0) < 0 && errno == EINTR) {
        }
    }
    eventfd_write(Stop.Get(), 1);
    Reader.join();
}

// Keeps what ssh said; a `size` of 0 (ssh has ended) or below (the read failed) ends the
// reading instead, and the result is false.
bool SshProcess::Keep(const char *said, ssize_t size)
{
    const std::lock_guard lock(Lock);
    if (size <= 0) {
        Ended = size == 0;
        EndSeen.notify_all();
        return false;
    }
    Said.append(said, std::size_t(size));
    Said.erase(0, Said.size() > KeptBytes ? Said.size() - KeptBytes : 0);
    return true;
}

// Reads what ssh says until it ends, which closes its standard error, or until this object goes.
void SshProcess::ReadErrors()
{
    char buffer[KeptBytes];
    pollfd watched[] = {{Errors.Get(), POLLIN, 0}, {Stop.Get(), POLLIN, 0}};
    for (;;) {
        const int ready = poll(watched, 2, -1);
        if (ready < 0 && errno == EINTR)
            continue;
        if (ready < 0 || watched[1].revents != 0 || !Keep(buffer, read(Errors.Get(), buffer, sizeof buffer)))
            return;
    }
}

// Only an ssh that has ended speaks for the failure: one still running has nothing to say
// about it, and what it said before (a server's banner, a warning) would only mislead.
std::string SshProcess::LastWords()
{
    std::unique_lock lock(Lock);
    if (!EndSeen.wait_for(lock, EndWait, [this] { return Ended; }))
        return {};
    const std::size_t end = Said.find_last_not_of(" \t\r\n");
    if (end == std::string::npos)
        return {};
    const std::size_t newline = Said.rfind('\n', end);
    const std::size_t start = newline == std::string::npos ? 0 : newline + 1;
    return Said.substr(start, end + 1 - start);
}
