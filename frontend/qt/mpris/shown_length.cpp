#include "frontend/qt/mpris/shown_length.h"

#include <tambelo/render.h>

#include <cmath>
#include <memory>

namespace tambelo::frontend {

namespace {

struct SetCloser {
    void operator()(tambelo_set* set) const { tambelo_set_close(set); }
};

}  // namespace

std::optional<std::int64_t> shown_length_us(const std::filesystem::path& score_path, std::int32_t track)
{
    if (track <= 0)
        return std::nullopt;
    tambelo_set* opened = nullptr;
    if (tambelo_set_open_path(score_path.string().c_str(), &opened) != nullptr)
        return std::nullopt;
    const std::unique_ptr<tambelo_set, SetCloser> set(opened);
    const tambelo_track_info* info = tambelo_set_track(set.get(), track);
    if (!info || !info->playable)
        return std::nullopt;
    // Two passes of a loop, no fade: the length players of looping game
    // music show.
    const double ms = tambelo_track_info_play_length_ms(info, 2, 0.0);
    return static_cast<std::int64_t>(std::llround(ms * 1000.0));
}

}  // namespace tambelo::frontend
