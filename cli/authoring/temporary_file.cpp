#include "cli/authoring/temporary_file.h"

#include "cli/utf8_path.h"
#include "files/regular_file.h"

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <random>
#include <system_error>

namespace tambelo {
namespace {

// A tag that differs between reservations in this process and, through
// the random start, between processes.
std::string next_tag()
{
    static const std::uint64_t start = [] {
        std::random_device device;
        return std::uint64_t{device()} << 32 | device();
    }();
    static std::atomic<std::uint64_t> counter{0};
    char tag[17];
    std::snprintf(tag, sizeof tag, "%016llx", static_cast<unsigned long long>(start + counter++ * 0x9E3779B97F4A7C15ull));
    return std::string(tag).substr(0, 8);
}

void remove_quietly(const std::string& path)
{
    std::error_code ignored;
    std::filesystem::remove(path_from_utf8(path), ignored);
}

}  // namespace

TemporaryFile::TemporaryFile(std::string final_path) : final_path_(std::move(final_path))
{
    for (int attempt = 0; attempt < 100; ++attempt) {
        const std::string candidate = final_path_ + "." + next_tag() + ".partial";
        // "x": created anew or not at all, so no two writers share a name.
        if (std::FILE* file = open_regular_file(candidate.c_str(), "wbx")) {
            std::fclose(file);
            path_ = candidate;
            return;
        }
        if (errno != EEXIST) {
            error_ = "cannot write " + candidate + ": " + std::strerror(errno);
            return;
        }
    }
    error_ = "cannot find a free temporary name beside " + final_path_;
}

TemporaryFile::~TemporaryFile()
{
    if (!path_.empty())
        remove_quietly(path_);
}

std::string TemporaryFile::commit()
{
    std::error_code error;
    std::filesystem::rename(path_from_utf8(path_), path_from_utf8(final_path_), error);
    if (!error) {
        path_.clear();
        return {};
    }
    remove_quietly(path_);
    const std::string reason = "cannot rename " + path_ + " to " + final_path_ + ": " + error.message();
    path_.clear();
    return reason;
}

}  // namespace tambelo
