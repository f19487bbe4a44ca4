// Packs arbitrary text as a score in the score language. Beyond the
// sanitizers' checks: a score that the packer accepts must compile, and each
// of its event streams must have the length the packer predicted.
#include "cli/authoring/score_checks.h"
#include "cli/authoring/score_encoder.h"
#include "cli/authoring/score_parser.h"
#include "library/player.h"
#include "library/score_compiler.h"

#include <cstdlib>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    static tambelo::Player* player = tambelo::create_player({}, false);
    if (size == 0)
        return 0;
    // The first byte picks the tempo base, the rest is the score text.
    const int tempo_base = data[0];
    const std::string_view text(reinterpret_cast<const char*>(data + 1), size - 1);
    try {
        const tambelo::ScoreSource score = tambelo::parse_score(text, "fuzz.mml");
        const auto bytes = tambelo::encode_score(score, tempo_base);
        if (!tambelo::compile_score_bytes(*player, bytes))
            std::abort();
        const auto lengths = tambelo::event_stream_lengths(score);
        for (int k = 0; k < tambelo::channel_count; ++k)
            if (player->streams[k].position != lengths[static_cast<std::size_t>(k)])
                std::abort();
    } catch (const tambelo::SourceError&) {
    }
    return 0;
}
