#include "library/voice_set.h"

#include "library/page_archive.h"
#include "library/player.h"

namespace tambelo {
namespace {

// Voice set layout: the tempo base at byte 7; the record size c, the number
// of numbered records n and the drum-map flag at bytes 24..26; then three
// initial records of c bytes for the start voices, n numbered records of an
// index byte and c bytes, and, when the flag is set, a triple count and that
// many (kit, key, drum note) triples. A record's first seven bytes are the
// voice's values; c only sets the distance between records.
constexpr std::size_t tempo_base_offset = 7;
constexpr std::size_t header_offset = 24;
constexpr std::size_t records_offset = 27;
constexpr std::size_t voice_value_count = 7;
constexpr int first_start_voice = 256;
constexpr int start_voice_count = 3;
// A key in the voice set counts 12 below the stream note it maps.
constexpr int drum_key_shift = 12;

// The bytes of a voice set, read in file order. Reading stops at the first
// piece that does not lie wholly inside the entry; what came before stays.
class VoiceSetReader {
public:
    explicit VoiceSetReader(std::span<const std::uint8_t> bytes) : bytes_(bytes) {}

    bool holds(std::size_t offset, std::size_t count) const
    {
        return offset <= bytes_.size() && count <= bytes_.size() - offset;
    }

    std::uint8_t operator[](std::size_t offset) const { return bytes_[offset]; }

    // The seven values at `offset`, if they all lie inside the entry.
    bool read_voice(std::size_t offset, VoiceEntry& voice) const
    {
        if (!holds(offset, voice_value_count))
            return false;
        const auto* v = bytes_.data() + offset;
        voice = VoiceEntry{v[0], v[1], v[2], v[3], v[4], v[5], v[6]};
        return true;
    }

private:
    std::span<const std::uint8_t> bytes_;
};

void read_voice_set(Player& player, const VoiceSetReader& in)
{
    if (!in.holds(tempo_base_offset, 1))
        return;
    player.tempo_base = in[tempo_base_offset];

    if (!in.holds(header_offset, 3))
        return;
    const std::size_t record_size = in[header_offset];
    const std::size_t numbered_count = in[header_offset + 1];
    const bool has_drum_map = in[header_offset + 2] != 0;

    std::size_t at = records_offset;
    for (int r = 0; r < start_voice_count; ++r, at += record_size)
        if (!in.read_voice(at, player.voice_table[static_cast<std::size_t>(first_start_voice + r)]))
            return;

    for (std::size_t m = 0; m < numbered_count; ++m, at += record_size + 1) {
        if (!in.holds(at, 1 + voice_value_count))
            return;
        in.read_voice(at + 1, player.voice_table[in[at]]);
    }

    if (!has_drum_map || !in.holds(at, 1))
        return;
    const std::size_t triple_count = in[at++];
    for (std::size_t t = 0; t < triple_count; ++t, at += 3) {
        if (!in.holds(at, 3))
            return;
        const std::size_t index = std::size_t{in[at]} * 128 + in[at + 1] + drum_key_shift;
        // Kit 8 and above, or keys near the top of kit 7, lie beyond the map.
        if (index < player.drum_map.size())
            player.drum_map[index] = in[at + 2];
    }
}

}  // namespace

void reset_voice_set(Player& player)
{
    for (VoiceEntry& voice : player.voice_table)
        voice = VoiceEntry{0, 0, 100, 40, 40, 64, 64};
    player.drum_map.fill(35);
    player.tempo_base = 64;
}

void load_voice_set(Player& player, std::int32_t track)
{
    const auto entry = PageArchive::read_entry(player.track_paths.voice, track);
    if (entry)
        load_voice_set_bytes(player, *entry);
    else
        reset_voice_set(player);
}

void load_voice_set_bytes(Player& player, std::span<const std::uint8_t> voice_set)
{
    reset_voice_set(player);
    read_voice_set(player, VoiceSetReader(voice_set));
}

}  // namespace tambelo
