#include "util/wholefile.h"

#include <cerrno>
#include <filesystem>
#include <fstream>
#include <random>
#include <system_error>

namespace {

std::filesystem::path PathOf(const std::string &utf8)
{
    return std::filesystem::path(std::u8string(utf8.begin(), utf8.end()));
}

// Two writers of the same file must not share a temporary; a collector that reads a directory
// by suffix must not take it for one of its files.
std::filesystem::path TemporaryBeside(const std::filesystem::path &target)
{
    std::filesystem::path temporary = target;
    temporary += "." + std::to_string(std::random_device()()) + ".tmp";
    return temporary;
}

// The C library's word on a stream that failed; a full disk and a missing folder read alike otherwise.
std::error_code LastError()
{
    return errno ? std::error_code(errno, std::generic_category()) : std::make_error_code(std::errc::io_error);
}

} // namespace

std::optional<std::string> WriteWholeFile(const std::string &path, const std::string &text)
{
    const std::filesystem::path target = PathOf(path), temporary = TemporaryBeside(target);
    errno = 0;
    std::ofstream out(temporary, std::ios::binary | std::ios::trunc);
    if (!out)
        return LastError().message();
    out << text;
    out.close();
    std::error_code error;
    if (!out)
        error = LastError();
    else
        std::filesystem::rename(temporary, target, error);
    if (!error)
        return std::nullopt;
    std::error_code ignored;
    std::filesystem::remove(temporary, ignored);
    return error.message();
}
