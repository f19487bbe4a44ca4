// Arbitrary bytes as a score archive: the identification every host asks,
// the set opened from them and what it says about its tracks. The opening
// must agree with the identification, and no track may claim to play for
// longer than the bound.
#include "library/render/render_set.h"
#include "library/render/rendering_length.h"
#include "tambelo/music_set.h"

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    using namespace tambelo;
    const ScoreIdentity identity =
        identify_score({data, std::min(size, score_identity_head_bytes)}, static_cast<std::uint64_t>(size));
    std::string why;
    const auto set = RenderSet::open_bytes(std::vector<std::uint8_t>(data, data + size), {}, "", &why);
    if (static_cast<bool>(set) != identity.is_set() || (set && set->track_count() != identity.tracks))
        std::abort();
    if (!set)
        return 0;
    // The first tracks, and the last: enough to reach every kind of entry.
    for (std::int32_t track = 1; track <= set->track_count(); track = track < 8 ? track + 1 : track * 4) {
        const TrackInfo info = set->info(track);
        if (track > identity.intact && info.playable)
            std::abort();
        if (info.playable && !(info.intro_ms + info.loop_ms <= longest_rendering_ms))
            std::abort();
    }
    return 0;
}
