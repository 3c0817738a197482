#pragma once

#include <unistd.h>

#include <utility>

// One owner for a file descriptor, closed on every path out of a function unless it has been
// handed on to an owner of its own.
class UniqueFd {
public:
    UniqueFd() = default;
    explicit UniqueFd(int fd) : Fd(fd) {}
    UniqueFd(UniqueFd &&other) noexcept : Fd(other.Release()) {}
    UniqueFd &operator=(UniqueFd &&other) noexcept
    {
        UniqueFd old(std::exchange(Fd, other.Release()));
        return *this;
    }
    ~UniqueFd()
    {
        if (Fd >= 0)
            close(Fd);
    }

    int Get() const { return Fd; }
    // For a new owner, such as a bus, that closes the descriptor itself.
    int Release() { return std::exchange(Fd, -1); }

private:
    int Fd = -1;
};
