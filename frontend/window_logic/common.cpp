#include "frontend/window_logic/common.h"

#include "frontend/window_logic/path_encoding.h"

#include <utility>

namespace tambelo::frontend {

PlaybackLibrary::PlaybackLibrary(std::filesystem::path path) : path_(std::move(path)) {}

PlaybackLibrary::~PlaybackLibrary()
{
    // Unloading code that a live playback thread still runs would crash it;
    // the process ends soon after in that case anyway.
    if (player_alive_)
        library_.keep_loaded();
}

template <typename Function>
Function PlaybackLibrary::bind(Function& slot, const char* name)
{
    if (slot)
        return slot;
    if (!library_.loaded()) {
        std::string why;
        if (!library_.load(path_, why))
            throw BindingError("cannot load the playback library " + display_text(path_) + " (" + why +
                               "); it must lie in the program's folder");
    }
    void* address = library_.find(name);
    if (address == nullptr)
        throw BindingError("the playback library " + display_text(path_) + " has no function " + name +
                           "; install the library that came with this program");
    slot = reinterpret_cast<Function>(address);
    return slot;
}

void PlaybackLibrary::initialize()
{
    bind(initialize_, "initialize")();
    player_alive_ = true;
}

void PlaybackLibrary::release()
{
    bind(release_, "release")();
    player_alive_ = false;
}

void PlaybackLibrary::open_file(const char* score_path, const char* voice_path)
{
    bind(open_file_, "open_file")(score_path, voice_path);
}

void PlaybackLibrary::play_music(std::int32_t track) { bind(play_music_, "play_music")(track); }

void PlaybackLibrary::stop_music() { bind(stop_music_, "stop_music")(); }

std::int32_t PlaybackLibrary::get_next(std::int32_t track)
{
    return bind(get_next_, "get_next")(track);
}

std::int32_t PlaybackLibrary::get_prev(std::int32_t track)
{
    return bind(get_prev_, "get_prev")(track);
}

}  // namespace tambelo::frontend
