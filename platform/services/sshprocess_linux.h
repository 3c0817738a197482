#pragma once

#include <condition_variable>
#include <memory>
#include <mutex>
#include <string>
#include <sys/types.h>
#include <thread>
#include <vector>

#include "platform/os/uniquefd_linux.h"

// ssh carrying one bus connection, started without a shell. What it writes to its standard
// error is kept, the last 4 KiB of it, so that a failed connection can be told to the
// operator in ssh's own words rather than in the bus's.
class SshProcess {
public:
    // Starts ssh with `arguments`; `busSocket` talks to its standard input and output. Both
    // outputs are written only on success; the result is 0 or -errno.
    static int Start(const std::vector<std::string> &arguments, std::unique_ptr<SshProcess> &process, UniqueFd &busSocket);

    SshProcess(const SshProcess &) = delete;
    SshProcess &operator=(const SshProcess &) = delete;
    ~SshProcess();

    // Once ssh has ended, the last line it wrote to its standard error that is not blank;
    // empty when it said nothing or is still running.
    std::string LastWords();

private:
    SshProcess(UniqueFd errors, UniqueFd stop);
    void ReadErrors();
    bool Keep(const char *said, ssize_t size);

    pid_t Pid = 0; // 0 until ssh runs
    const UniqueFd Errors;
    // Ends the reading, even while a child of ssh's still holds its standard error open.
    const UniqueFd Stop;
    std::mutex Lock;
    std::condition_variable EndSeen;
    std::string Said; // guarded by Lock
    bool Ended = false; // guarded by Lock
    // Declared last, so that it starts once everything it uses is in place.
    std::thread Reader;
};
