// The page's way into the playback core: plain C functions over the core's
// off-line player, which the page's scripts call through the WebAssembly
// module. The music set's files lie in the module's in-memory file system,
// where the page writes them. Tracks are open one per handle; a track's
// messages come out in a byte buffer that stays valid until the next call:
// per message its time in ms (float64), its length (uint16), the score
// channel whose event sent it (int8, -1 for none) and its bytes, all
// little-endian.

#include "library/frozen_clock_sequencer.h"
#include "library/page_archive.h"
#include "tambelo/music_set.h"

#include <cstdint>
#include <cstring>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include <emscripten/emscripten.h>

namespace {

using tambelo::TrackOpenFailure;
using tambelo::FrozenClockSequencer;
using tambelo::TimedMessage;

std::map<int, std::unique_ptr<FrozenClockSequencer>> open_tracks;
int last_handle = 0;
std::vector<std::uint8_t> message_bytes;

FrozenClockSequencer* find(int handle)
{
    const auto found = open_tracks.find(handle);
    return found == open_tracks.end() ? nullptr : found->second.get();
}

void append(const std::vector<TimedMessage>& messages)
{
    message_bytes.clear();
    for (const TimedMessage& message : messages) {
        std::uint8_t time[sizeof(double)];
        std::memcpy(time, &message.time_ms, sizeof time);
        message_bytes.insert(message_bytes.end(), time, time + sizeof time);
        const auto length = static_cast<std::uint16_t>(message.bytes.size());
        message_bytes.push_back(static_cast<std::uint8_t>(length & 0xFF));
        message_bytes.push_back(static_cast<std::uint8_t>(length >> 8));
        message_bytes.push_back(static_cast<std::uint8_t>(message.channel));
        message_bytes.insert(message_bytes.end(), message.bytes.begin(), message.bytes.end());
    }
}

}  // namespace

extern "C" {

// Whether a file is a score archive, as every other host decides it: the
// number of tracks its table names (0: not a music set). `head` holds the
// file's first web_identity_head_bytes() bytes, or all of a shorter file.
EMSCRIPTEN_KEEPALIVE std::int32_t web_identify_score(const std::uint8_t* head, std::uint32_t head_size,
                                                     double file_size)
{
    return tambelo::identify_score({head, head_size}, static_cast<std::uint64_t>(file_size)).tracks;
}

// Of those tracks, the first ones that start inside the file; the rest of a
// file cut short are missing.
EMSCRIPTEN_KEEPALIVE std::int32_t web_intact_tracks(const std::uint8_t* head, std::uint32_t head_size,
                                                    double file_size)
{
    return tambelo::identify_score({head, head_size}, static_cast<std::uint64_t>(file_size)).intact;
}

// What the page says of a track beyond a cut file's end, after its number.
EMSCRIPTEN_KEEPALIVE const char* web_cut_off_reason()
{
    return tambelo::cut_off_reason;
}

EMSCRIPTEN_KEEPALIVE std::uint32_t web_identity_head_bytes()
{
    return static_cast<std::uint32_t>(tambelo::score_identity_head_bytes);
}

// What the page says of a file that is not a music set, after its name.
EMSCRIPTEN_KEEPALIVE const char* web_not_a_set_reason()
{
    return tambelo::not_a_set_reason;
}

// The archive's answers for stepping through its entries (0: not readable).
EMSCRIPTEN_KEEPALIVE std::int32_t web_next_entry(const char* score_path, std::int32_t track)
{
    return tambelo::PageArchive::next_entry(score_path, track);
}

// Whether entry `n` can be read at all: its span starts inside the file.
EMSCRIPTEN_KEEPALIVE int web_entry_readable(const char* path, std::int32_t n)
{
    return tambelo::PageArchive::read_entry(path, n).has_value() ? 1 : 0;
}

EMSCRIPTEN_KEEPALIVE std::int32_t web_prev_entry(std::int32_t track)
{
    return tambelo::PageArchive::prev_entry(track);
}

// A handle above 0, or the failure's number negated (1: does not compile,
// 2: tempo out of range, 3: out of memory).
EMSCRIPTEN_KEEPALIVE int web_open_track(const char* score_path, const char* voice_path, std::int32_t track)
{
    TrackOpenFailure failure = TrackOpenFailure::none;
    auto opened = FrozenClockSequencer::open_set_track(score_path, voice_path, track, &failure);
    if (!opened)
        return -static_cast<int>(failure);
    open_tracks[++last_handle] = std::move(opened);
    return last_handle;
}

EMSCRIPTEN_KEEPALIVE void web_close_track(int handle)
{
    open_tracks.erase(handle);
}

EMSCRIPTEN_KEEPALIVE double web_tick_length_ms(int handle)
{
    const FrozenClockSequencer* track = find(handle);
    return track ? track->tick_length_ms() : 0.0;
}

// 0: ends by itself, 1: loops.
EMSCRIPTEN_KEEPALIVE int web_length_kind(int handle)
{
    const FrozenClockSequencer* track = find(handle);
    return track && track->length().kind == tambelo::TrackLength::Kind::loops ? 1 : 0;
}

// The end tick, the loop's first tick and the loop's length in ticks, as doubles.
EMSCRIPTEN_KEEPALIVE double web_length_ticks(int handle, int which)
{
    const FrozenClockSequencer* track = find(handle);
    if (!track)
        return 0.0;
    const tambelo::TrackLength& length = track->length();
    const std::int64_t ticks = which == 0 ? length.end_tick : which == 1 ? length.loop_start_tick : length.loop_ticks;
    return static_cast<double>(ticks);
}

EMSCRIPTEN_KEEPALIVE int web_cycles_differ(int handle)
{
    const FrozenClockSequencer* track = find(handle);
    return track && track->length().cycles_differ ? 1 : 0;
}

// Plays the ticks due before `end_ms`; returns the number of bytes written
// to the buffer at web_message_bytes().
EMSCRIPTEN_KEEPALIVE int web_play_until_ms(int handle, double end_ms)
{
    FrozenClockSequencer* track = find(handle);
    std::vector<TimedMessage> messages;
    if (track)
        track->play_until_ms(end_ms, messages);
    append(messages);
    return static_cast<int>(message_bytes.size());
}

EMSCRIPTEN_KEEPALIVE const std::uint8_t* web_message_bytes()
{
    return message_bytes.data();
}

EMSCRIPTEN_KEEPALIVE int web_track_ended(int handle)
{
    const FrozenClockSequencer* track = find(handle);
    return track == nullptr || track->ended() ? 1 : 0;
}

}  // extern "C"
