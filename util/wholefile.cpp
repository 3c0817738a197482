#include "util/wholefile.h"

#include <cerrno>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <random>
#include <thread>
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

// Windows refuses to replace a file that a reader holds open without leave to delete it, as
// an exporter's scrape may for a moment; such a reader is soon done.
void RenameOver(const std::filesystem::path &from, const std::filesystem::path &to, std::error_code &error)
{
    constexpr int Tries = 10;
    for (int tried = 1; tried <= Tries; ++tried) {
        std::filesystem::rename(from, to, error);
        if (!error || tried == Tries)
            return;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
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
        RenameOver(temporary, target, error);
    if (!error)
        return std::nullopt;
    std::error_code ignored;
    std::filesystem::remove(temporary, ignored);
    return error.message();
}
