#include "frontend/window_logic/common.h"

#include "frontend/window_logic/path_encoding.h"

#include <system_error>
#include <utility>

namespace tambelo::frontend {

PlaybackLibrary::PlaybackLibrary(std::filesystem::path path, std::string installed_name)
    : path_(std::move(path)), installed_name_(std::move(installed_name))
{
}

PlaybackLibrary::~PlaybackLibrary()
{
    // Unloading code that a live playback thread still runs would crash it;
    // the process ends soon after in that case anyway.
    if (player_alive_)
        library_.keep_loaded();
}

void PlaybackLibrary::load()
{
    std::error_code ignored;
    std::string why;
    // A library beside the program wins, as in a portable folder; a broken
    // one there is reported rather than passed over.
    if (installed_name_.empty() || std::filesystem::exists(path_, ignored)) {
        if (!library_.load(path_, why))
            throw BindingError("cannot load the playback library " + display_text(path_) + " (" +
                               why + "); it must lie in the program's folder");
        return;
    }
    if (!library_.load(installed_name_, why))
        throw BindingError("cannot find the playback library: not in the program's folder (" +
                           display_text(path_.parent_path()) + ") and not installed as " +
                           installed_name_ + " (" + why + "); reinstall tambelo");
    path_ = installed_name_;
}

template <typename Function>
Function PlaybackLibrary::bind(Function& slot, const char* name)
{
    if (slot)
        return slot;
    if (!library_.loaded())
        load();
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
