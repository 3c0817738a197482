#pragma once

#include <memory>
#include <string>
#include <sys/types.h>
#include <vector>

// ssh carrying one bus connection, started without a shell. What it writes to its standard
// error is kept, the last 4 KiB of it, so that a failed connection can be told to the
// operator in ssh's own words rather than in the bus's.
class SshProcess {
public:
    // Starts ssh with `arguments`; `busSocket`, the caller's to own, talks to its standard
    // input and output. Both outputs are written only on success; the result is 0 or -errno.
    static int Start(const std::vector<std::string> &arguments, std::unique_ptr<SshProcess> &process, int &busSocket);

    SshProcess(const SshProcess &) = delete;
    SshProcess &operator=(const SshProcess &) = delete;
    ~SshProcess();

    // Once ssh has ended, the last line it wrote to its standard error that is not blank;
    // empty when it said nothing or is still running.
    std::string LastWords();

private:
    bool AwaitEnd();

    SshProcess(pid_t pid, int errors) : Pid(pid), Errors(errors) {}

    pid_t Pid;
    int Errors;
    std::string Said;
};
