// Compiles arbitrary bytes as a score. Beyond the sanitizers' checks, a score
// that compiles must leave nine well-formed streams, and one that fails must
// leave the tempo alone.
#include "library/player.h"
#include "library/score_compiler.h"

#include <cstdlib>
#include <span>

namespace {

using tambelo::EventStream;

// Walks a stream's records: notes followed by rests, the few control codes,
// and one end record as the very last four bytes.
bool well_formed(const EventStream& stream)
{
    const std::int32_t length = stream.position;
    if (length < 4 || length > tambelo::stream_capacity)
        return false;
    std::int32_t at = 0;
    bool after_note = false;
    while (at < length) {
        const std::uint8_t code = stream.bytes[at];
        if (after_note && code != 128)
            return false;
        after_note = false;
        if (code <= 128) {
            after_note = code < 128;
            at += 3;
        } else if (code == 224 || code == 225 || code == 235 || code == 245 || code == 249 || code == 252) {
            at += 2;
        } else if (code == 236) {
            at += 1;
        } else if (code == 255) {
            if (at + 4 != length)
                return false;
            const std::int32_t loop = stream.bytes[at + 1] | stream.bytes[at + 2] << 8 | stream.bytes[at + 3] << 16;
            return loop <= at;
        } else {
            return false;
        }
    }
    return false;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    static tambelo::Player* player = tambelo::create_player(tambelo::PlayerServices{}, false);
    constexpr std::int32_t sentinel_tempo = 1000;
    player->tempo = sentinel_tempo;
    const bool compiled = tambelo::compile_score_bytes(*player, std::span(data, size));
    if (compiled) {
        for (const EventStream& stream : player->streams)
            if (!well_formed(stream))
                std::abort();
        if (player->tempo != sentinel_tempo && (player->tempo < 0 || player->tempo > 255))
            std::abort();
    } else if (player->tempo != sentinel_tempo) {
        std::abort();
    }
    return 0;
}
