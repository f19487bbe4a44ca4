#pragma once

// Loading a shared library by path and finding its functions by name: the
// only platform-specific part of the binding (dlopen on POSIX systems,
// LoadLibrary on Windows).

#include <filesystem>
#include <string>

namespace tambelo::frontend {

// The library's file name on this platform: "libtambelo.so", or
// "tambelo.dll" on Windows.
std::string playback_library_file_name();

class SharedLibrary {
public:
    SharedLibrary() = default;
    ~SharedLibrary();
    SharedLibrary(const SharedLibrary&) = delete;
    SharedLibrary& operator=(const SharedLibrary&) = delete;

    // Loads the library at `path`. On failure returns false and puts the
    // system's reason into `why`.
    bool load(const std::filesystem::path& path, std::string& why);
    bool loaded() const { return handle_ != nullptr; }
    // The address of the exported function `name`, or null.
    void* find(const char* name) const;
    // Unloads the library; its functions must no longer run.
    void unload();
    // Forgets the library without unloading it, so that it stays loaded
    // until the process ends.
    void keep_loaded() { handle_ = nullptr; }

private:
    void* handle_ = nullptr;
};

}  // namespace tambelo::frontend
