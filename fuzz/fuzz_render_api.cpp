// Drives the renderer's C interface as a host would with a hostile set:
// opens it from memory, asks for every track's information, opens one track
// and renders a little of it, seeks to a time taken from the input (any
// double, infinities and NaN included) and renders a little more. The work
// per input stays small whatever the set says: a low rate, a few hundred
// frames, at most two passes of a loop, the information of eight tracks.
//
// Input: a 16-byte header, then the voice archive, the title list and the
// score archive, in that order.
//   0     loop mode (0 fade, 1 seamless, 2 forever; taken modulo 3)
//   1     which track (modulo the track count)
//   2     bit 0: keep the release tail; bit 1: two passes of the loop
//   3     unused
//   4-11  the seek's time in ms, a little-endian IEEE double
//   12-13 the voice archive's size, little-endian
//   14-15 the title list's size, little-endian
#include <tambelo/render.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <filesystem>

namespace {

constexpr std::size_t header_size = 16;
constexpr std::size_t frames_per_render = 256;

std::size_t take_size(const std::uint8_t* at, std::size_t left)
{
    return std::min<std::size_t>(left, static_cast<std::size_t>(at[0]) | (static_cast<std::size_t>(at[1]) << 8));
}

const char* soundfont()
{
    // The small General MIDI SoundFont keeps each new synthesizer cheap.
    static const bool small = std::filesystem::exists("/usr/share/sounds/sf2/TimGM6mb.sf2");
    return small ? "/usr/share/sounds/sf2/TimGM6mb.sf2" : nullptr;
}

void play(tambelo_track* track, const std::uint8_t* header)
{
    static float floats[2 * frames_per_render];
    static std::int16_t shorts[2 * frames_per_render];
    tambelo_track_render_float(track, floats, frames_per_render);
    double ms = 0.0;
    std::memcpy(&ms, header + 4, sizeof ms);
    tambelo_track_seek(track, ms);
    tambelo_track_render_s16(track, shorts, frames_per_render);
    std::int64_t start = 0;
    std::int64_t length = 0;
    tambelo_track_loop_frames(track, &start, &length);
    tambelo_track_position_frames(track);
    tambelo_track_length_frames(track);
    tambelo_track_ended(track);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size < header_size)
        return 0;
    const std::uint8_t* header = data;
    const std::uint8_t* at = data + header_size;
    std::size_t left = size - header_size;
    const std::size_t voices_size = take_size(header + 12, left);
    const std::uint8_t* voices = at;
    at += voices_size;
    left -= voices_size;
    const std::size_t titles_size = take_size(header + 14, left);
    const std::uint8_t* titles = at;
    at += titles_size;
    left -= titles_size;

    tambelo_set* set = nullptr;
    if (tambelo_set_open_memory(at, left, voices, voices_size, titles, titles_size, &set) != nullptr)
        return 0;
    const int count = tambelo_set_track_count(set);
    tambelo_set_game_title(set);
    for (int number = 1; number <= std::min(count, 8); ++number) {
        tambelo_track_info info;
        if (tambelo_set_track_info(set, number, &info) == nullptr)
            tambelo_track_info_play_length_ms(&info, 2, 8000.0);
    }
    tambelo_render_settings settings;
    tambelo_render_settings_init(&settings);
    settings.sample_rate = 8000;
    settings.soundfont = soundfont();
    settings.loop_mode = static_cast<tambelo_loop_mode>(header[0] % 3);
    settings.keep_release_tail = header[2] & 1;
    settings.loops = 1 + ((header[2] >> 1) & 1);
    settings.fade_ms = 500.0;
    tambelo_track* track = nullptr;
    if (tambelo_track_open(set, 1 + header[1] % count, &settings, &track) == nullptr)
        play(track, header);
    tambelo_track_close(track);
    tambelo_set_close(set);
    return 0;
}
