#include "library/score_compiler.h"

#include "library/page_archive.h"
#include "library/player.h"

namespace tambelo {

bool compile_score(Player& player, std::int32_t track)
{
    const auto entry = PageArchive::read_entry(player.track_paths.score, track);
    if (!entry)
        return false;
    return compile_score_bytes(player, *entry);
}

bool compile_score_bytes(Player&, std::span<const std::uint8_t>)
{
    return false;  // not yet: every track leaves the player idle
}

}  // namespace tambelo
