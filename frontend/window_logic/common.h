#pragma once

// The window program's binding to the seven exports of the playback
// library. The library is loaded when the first function is called: from a
// fixed path (the program's folder) when a file is there, else by its
// installed name through the system's library search. Each function is
// looked up by its export name at its own first call; later calls reuse the
// address. A library or function that
// cannot be found raises BindingError naming it, at the call that needs it.
// Called from the user-interface thread only.

#include "frontend/window_logic/shared_library.h"

#include <cstdint>
#include <filesystem>
#include <stdexcept>
#include <string>

#if defined(_WIN32) && !defined(_WIN64)
#define TAMBELO_CALL __stdcall
#else
#define TAMBELO_CALL
#endif

namespace tambelo::frontend {

class BindingError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

class PlaybackLibrary {
public:
    // `path`: the library file, normally playback_library_file_name() in
    // the program's folder. `installed_name`: the name (SONAME) to load
    // through the system's search when no file lies at `path`; empty for
    // none. Nothing is loaded yet.
    explicit PlaybackLibrary(std::filesystem::path path, std::string installed_name = {});
    ~PlaybackLibrary();
    PlaybackLibrary(const PlaybackLibrary&) = delete;
    PlaybackLibrary& operator=(const PlaybackLibrary&) = delete;

    const std::filesystem::path& path() const { return path_; }

    void initialize();
    void release();
    // The paths are NUL-terminated strings in the file system's encoding;
    // the library copies them during the call.
    void open_file(const char* score_path, const char* voice_path);
    void play_music(std::int32_t track);
    void stop_music();
    std::int32_t get_next(std::int32_t track);
    std::int32_t get_prev(std::int32_t track);

    // True between a successful initialize and release: the library's
    // playback thread may be running, so the library must stay loaded.
    bool player_alive() const { return player_alive_; }

private:
    template <typename Function>
    Function bind(Function& slot, const char* name);

    void load();

    std::filesystem::path path_;
    std::string installed_name_;
    SharedLibrary library_;
    bool player_alive_ = false;

    void*(TAMBELO_CALL* initialize_)() = nullptr;
    void(TAMBELO_CALL* release_)() = nullptr;
    void(TAMBELO_CALL* open_file_)(const char*, const char*) = nullptr;
    void(TAMBELO_CALL* play_music_)(std::int32_t) = nullptr;
    void(TAMBELO_CALL* stop_music_)() = nullptr;
    std::int32_t(TAMBELO_CALL* get_next_)(std::int32_t) = nullptr;
    std::int32_t(TAMBELO_CALL* get_prev_)(std::int32_t) = nullptr;
};

}  // namespace tambelo::frontend
