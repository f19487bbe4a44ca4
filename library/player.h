#pragma once

#include "library/midi/midi_device.h"
#include "library/platform/clock.h"
#include "library/track_request.h"
#include "score_format/score_limits.h"

#include <array>
#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>

namespace tambelo {

inline constexpr std::size_t path_capacity = 4096;  // bytes per archive path, NUL included

// One channel's compiled events, written by the score compiler and read by
// the sequencer. `position` is the write index while compiling, the stream's
// length afterwards, and the read index once the device reset has rewound it.
struct EventStream {
    std::uint8_t bytes[stream_capacity];
    std::int32_t position;
};

// How one voice number sounds. Loaded from single bytes, held as 32-bit.
struct VoiceEntry {
    std::int32_t bank;        // below 128: bank select MSB; 128 or more: drum voice, kit 255 - bank
    std::int32_t program;
    std::int32_t volume;      // controller 7
    std::int32_t reverb;      // controller 91
    std::int32_t chorus;      // controller 93
    std::int32_t key_offset;  // melodic notes are sent as stream note + key_offset - 64
    std::int32_t pan;         // controller 10
};

using VoiceTable = std::array<VoiceEntry, voice_table_size>;
// Drum note per kit and stream note, at index kit * 128 + note.
using DrumMap = std::array<std::int32_t, drum_map_size>;

// The playing state of one score channel.
struct ChannelTrack {
    std::int32_t voice;          // voice table index last selected
    std::int32_t kit;            // 128 for a melodic voice, else the drum kit
    std::int32_t volume;         // 255 stands for "none sent yet"
    std::int32_t reverb;
    std::int32_t chorus;
    std::int32_t pan;
    std::int32_t key_offset;
    std::int32_t velocity;
    std::int32_t midi_channel;   // 0..9
    std::int32_t sounding_note;  // 128 = none
    std::int32_t wait;           // ticks before the next event is read
    std::uint8_t active;
    std::uint8_t has_sounded;
};

// How the playback thread paces its passes.
enum class PollTiming {
    // After a pass that advanced the sequencer, sleep only until the next
    // tick falls due (1..10 ms); otherwise 10 ms.
    precise,
    // A plain 10 ms sleep after every pass.
    fixed,
};

// What the Player needs from its surroundings. The playback code runs the
// same against the system clock and a real device, or a virtual clock and a
// recording device.
struct PlayerServices {
    Clock* clock = &system_clock();
    // Opens the output device; called once, on the playback thread, when it
    // starts. Null (or a null result) means the null device stands in.
    std::function<std::unique_ptr<MidiDevice>()> open_device;
    PollTiming timing = PollTiming::precise;
    // Test seam: called on the playback thread just before it withdraws a
    // request that it has served (the track ended by itself, or could not be
    // compiled), so that a test can make the caller's calls at that moment.
    std::function<void()> before_withdrawing_request;
};

struct ArchivePaths {
    char score[path_capacity];
    char voice[path_capacity];
};

// The whole state of the playback library, allocated once. The caller's
// thread and the playback thread share only the request word, the quit flag
// and the two paths; everything else belongs to the playback thread.
struct Player {
    Player* self;
    // Playback thread only. Holds the track being played while the
    // sequencer runs, including the first step of a new track.
    std::int32_t current_track;
    // A TrackRequest's word. The caller's calls change it; the playback
    // thread only withdraws a request it served (the track ended or failed),
    // by compare-and-set against the very word it saw, so that a call made
    // meanwhile always survives.
    std::atomic<std::uint64_t> request;
    std::atomic<std::uint8_t> quit;
    std::thread thread;                          // caller's thread only
    std::uint8_t short_msg[4];
    std::unique_ptr<MidiDevice> midi_out;
    EventStream streams[channel_count];
    VoiceTable voice_table;
    DrumMap drum_map;
    std::int32_t tempo;
    std::int32_t tempo_base;
    ChannelTrack channels[channel_count];
    std::uint8_t stop_at_end;
    float ms_accumulator;
    std::uint32_t last_clock_ms;
    char score_path[path_capacity];
    char voice_path[path_capacity];
    // Playback thread only: the request word that the playing track answers.
    // Its end withdraws this word and nothing newer.
    std::uint64_t served_request;
    // Playback thread only: the request word the pass under way started
    // from. A device that paces the music ends a sleep early when the word
    // moves on.
    std::atomic<std::uint64_t> pass_request;
    // The clock the Player was made with, while a device paces the music on
    // its own clock instead (pacing_clock). Playback thread only.
    Clock* own_clock;

    // Guards the two paths: open_file writes them while a track preparation
    // on the playback thread may be taking its copy.
    std::mutex path_lock;
    // The paths a track preparation works with, copied from the two above
    // when it begins, so that an open_file meanwhile cannot mix two sets.
    // Playback thread only.
    ArchivePaths track_paths;
    PlayerServices services;
    // Score channels whose notes are not sent (bit k: channel k): their
    // other events still are, so the timing and the other channels stay as
    // they were. A note already sounding when its channel is muted still
    // ends as usual. Any thread may change it.
    std::atomic<std::uint16_t> muted_channels{0};
    // While the sequencer reads a channel's events: that score channel, so
    // that a device can tell which channel a message comes from; -1
    // otherwise (the device reset, silencing). Playback thread only.
    std::int8_t reading_channel = -1;
    // While the sequencer performs a tick: the moment that tick fell due,
    // passed with every message it sends. Empty otherwise (the device reset
    // and silencing send untimed). Playback thread only.
    std::optional<DueMoment> tick_due;
};

// Creates a Player and, when `start_thread` is set, its playback thread.
// Returns null when memory runs out. A Player made without a thread is driven
// by hand with the pass functions below (tests and offline tools).
Player* create_player(const PlayerServices& services, bool start_thread = true);

// Stops the playback thread (it finishes its pass, silences and closes the
// device) and frees the Player. Safe with null.
void destroy_player(Player* player);

// Owns a Player for tools and tests; destroys it with destroy_player.
struct PlayerDeleter {
    void operator()(Player* player) const { destroy_player(player); }
};
using PlayerHandle = std::unique_ptr<Player, PlayerDeleter>;

// Requests, from the caller's thread.
void open_file(Player& player, const char* score_path, const char* voice_path);
void play_music(Player& player, std::int32_t track);
void stop_music(Player& player);
std::int32_t get_next(Player& player, std::int32_t track);
std::int32_t get_prev(Player& player, std::int32_t track);

// The last number play_music accepted; 0 after a stop or a track's end.
std::int32_t last_request(const Player& player);
// The track the caller wants played now; 0 for none.
std::int32_t requested_track(const Player& player);
// For tools and tests that prepare a track by hand: makes `track` the
// request and the playing track, as the pass that prepared it would.
void set_playing_track(Player& player, std::int32_t track);

// Copies both paths into `track_paths` under the path lock. The playback
// thread calls it when a track preparation begins; tools that compile a
// track by hand call it after open_file.
void take_track_paths(Player& player);

// The end of a track that does not loop, as the sequencer meets it:
// withdraws the request that the track answered, unless the caller has made
// another since (that one is then kept and served next), and sets
// `current_track` to 0.
void clear_ended_track(Player& player);

// Withdraws the request word `seen` by replacing it with `withdrawn`, only
// if it is still the current one. Playback thread only.
void withdraw_request(Player& player, std::uint64_t seen, const TrackRequest& withdrawn);

// The playback thread, split into its steps so that a thread-less Player can
// be driven by hand on a virtual clock.
void open_player_device(Player& player);
void run_player_pass(Player& player);   // one pass of the loop, its sleep included
void close_player_device(Player& player);
void player_thread(Player* player);

// The sleep after a pass that advanced the sequencer, in milliseconds.
std::uint32_t poll_sleep_ms(const Player& player);

}  // namespace tambelo
