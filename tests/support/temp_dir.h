#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace tambelo::testing {

// A fresh folder under the system's temporary folder, removed with its
// contents when the object goes.
class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const std::filesystem::path& path() const { return path_; }
    // Writes `bytes` to a file of that name inside the folder; returns its path.
    std::string write(const std::string& name, const std::vector<std::uint8_t>& bytes) const;

private:
    std::filesystem::path path_;
};

// Names of the unfinished files (ending in ".partial") directly in `folder`.
std::vector<std::string> partial_files_in(const std::filesystem::path& folder);

}  // namespace tambelo::testing
