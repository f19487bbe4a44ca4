// How close to its due moment each message of a track leaves the player, on
// the real clock, with the playback thread waking when the next tick is due
// (precise) and with a plain 10 ms poll (fixed), side by side in one run.
//
// Tick k of a track is due (k - 1) tick lengths after the clock reading that
// the device reset takes. A run of the same streams on a virtual clock, one
// tick per sequencer call, tells which tick each message belongs to.

#include "library/device_reset.h"
#include "library/midi/recording_device.h"
#include "library/platform/clock.h"
#include "library/platform/thread.h"
#include "library/player.h"
#include "library/sequencer.h"
#include "library/voice_set.h"
#include "tests/support/event_records.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <ctime>
#include <memory>
#include <thread>
#include <vector>

namespace {

using namespace tambelo;
using testing::EventRecords;
using Bytes = std::vector<std::uint8_t>;

std::int64_t steady_us()
{
    using namespace std::chrono;
    return duration_cast<microseconds>(steady_clock::now().time_since_epoch()).count();
}

double thread_cpu_ms()
{
#if defined(CLOCK_THREAD_CPUTIME_ID)
    timespec now{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return static_cast<double>(now.tv_sec) * 1e3 + static_cast<double>(now.tv_nsec) / 1e6;
#else
    return std::nan("");
#endif
}

// Three channels of 1,080 ticks each, about 19.5 s at the base tempo: a
// melody of alternating 5- and 7-tick notes, a bass line of 24-tick notes
// and drum hits every 3 ticks. 585 notes in all; the track then ends.
void write_track(Player& player)
{
    reset_voice_set(player);
    player.tempo = 64;
    player.voice_table[1] = VoiceEntry{0, 0, 100, 40, 40, 64, 64};
    player.voice_table[2] = VoiceEntry{0, 33, 100, 40, 40, 52, 64};
    player.voice_table[3] = VoiceEntry{255, 0, 110, 40, 40, 64, 64};
    EventRecords melody(player.streams[0]);
    melody.voice(1);
    for (int i = 0; i < 180; ++i)
        melody.note(60 + (i * 7) % 12, i % 2 ? 6 : 4, 1);
    melody.no_loop().end();
    EventRecords bass(player.streams[1]);
    bass.voice(2);
    for (int i = 0; i < 45; ++i)
        bass.note(48 + (i * 5) % 12, 20, 4);
    bass.no_loop().end();
    EventRecords drums(player.streams[2]);
    drums.voice(3);
    for (int i = 0; i < 360; ++i)
        drums.note(i % 4 ? 42 : 36, 1, 2);
    drums.no_loop().end();
    for (int channel = 3; channel < channel_count; ++channel)
        EventRecords(player.streams[channel]).no_loop().end();
}

struct Labelled {
    Bytes bytes;
    int tick;
};

// The track's messages with their ticks, from the real sequencer driven one
// tick per call on a virtual clock.
std::vector<Labelled> label_messages()
{
    VirtualClock clock;
    auto log = std::make_shared<MessageLog>();
    PlayerServices services;
    services.clock = &clock;
    services.open_device = [&clock, log] { return std::make_unique<RecordingDevice>(clock, log); };
    Player* player = create_player(services, false);
    open_player_device(*player);
    write_track(*player);
    reset_device(*player);
    log->clear();
    set_playing_track(*player, 1);

    std::vector<Labelled> labelled;
    for (int tick = 1; requested_track(*player) != 0; ++tick) {
        clock.advance_ms(static_cast<std::uint32_t>(std::floor(-double{player->ms_accumulator})) + 1);
        advance_sequencer(*player);
        for (const auto& message : *log)
            labelled.push_back({message.bytes, tick});
        log->clear();
    }
    destroy_player(player);
    return labelled;
}

struct Stamped {
    Bytes bytes;
    std::int64_t at_us;
};

// Stamps every message with the microsecond clock as it arrives.
class StampingDevice final : public MidiDevice {
public:
    explicit StampingDevice(std::vector<Stamped>* log) : log_(log) {}
    bool send_short(std::uint32_t message) override
    {
        const std::int64_t now = steady_us();
        const auto status = static_cast<std::uint8_t>(message & 0xFF);
        Bytes bytes;
        for (int i = 0; i < short_message_length(status); ++i)
            bytes.push_back(static_cast<std::uint8_t>(message >> (8 * i)));
        log_->push_back({std::move(bytes), now});
        return true;
    }
    bool send_long(MidiHeader& header) override
    {
        header.flags.fetch_or(midi_header_done);
        return true;
    }

private:
    std::vector<Stamped>* log_;
};

struct RunResult {
    std::vector<Stamped> messages;
    std::int64_t reset_us = 0;  // the reset's millisecond reading, in microseconds
    double music_ms = 0;
    double cpu_ms = 0;
    double tick_ms = 0;
};

// Plays the track on the system clock, the passes run on a thread of our own
// at the playback thread's priority, exactly as the playback loop runs them.
RunResult play_for_real(PollTiming timing)
{
    RunResult result;
    result.messages.reserve(4096);
    PlayerServices services;
    services.clock = &system_clock();
    services.timing = timing;
    services.open_device = [&result] { return std::make_unique<StampingDevice>(&result.messages); };
    Player* player = create_player(services, false);

    std::thread playback([&] {
        set_current_thread_priority(ThreadPriority::timely);
        open_player_device(*player);
        write_track(*player);
        reset_device(*player);
        const std::int64_t now_us = steady_us();
        const auto now_ms = static_cast<std::uint32_t>(now_us / 1000);
        result.reset_us = (now_us / 1000 - static_cast<std::uint32_t>(now_ms - player->last_clock_ms)) * 1000;
        result.messages.clear();
        result.tick_ms = tick_length_ms(*player);

        const double cpu_start = thread_cpu_ms();
        system_clock().sleep_ms(100);
        set_playing_track(*player, 1);
        while (requested_track(*player) != 0)
            run_player_pass(*player);
        result.cpu_ms = thread_cpu_ms() - cpu_start;
        result.music_ms = static_cast<double>(steady_us() - result.reset_us) / 1000.0;
        close_player_device(*player);
    });
    playback.join();
    destroy_player(player);
    return result;
}

struct Figures {
    bool same_messages = false;
    double median = 0, p99 = 0, max = 0, min = 0;
    double cpu_per_s = 0;
    double music_s = 0;
};

double percentile(const std::vector<double>& sorted, double p)
{
    const auto index = static_cast<std::size_t>(std::ceil(p * static_cast<double>(sorted.size()))) - 1;
    return sorted[std::min(index, sorted.size() - 1)];
}

Figures measure(const RunResult& run, const std::vector<Labelled>& expected)
{
    Figures figures;
    figures.same_messages = run.messages.size() >= expected.size();
    std::vector<double> errors;
    for (std::size_t i = 0; i < expected.size() && figures.same_messages; ++i) {
        if (run.messages[i].bytes != expected[i].bytes) {
            figures.same_messages = false;
            break;
        }
        const double due_us = static_cast<double>(run.reset_us) + (expected[i].tick - 1) * run.tick_ms * 1000.0;
        errors.push_back((static_cast<double>(run.messages[i].at_us) - due_us) / 1000.0);
    }
    if (!errors.empty()) {
        std::sort(errors.begin(), errors.end());
        figures.median = percentile(errors, 0.5);
        figures.p99 = percentile(errors, 0.99);
        figures.max = errors.back();
        figures.min = errors.front();
    }
    figures.music_s = run.music_ms / 1000.0;
    figures.cpu_per_s = run.cpu_ms / figures.music_s;
    return figures;
}

}  // namespace

int main()
{
    const std::vector<Labelled> expected = label_messages();
    std::printf("track: %zu messages, %d ticks of %.4f ms\n", expected.size(), expected.back().tick,
                [] {
                    Player* player = create_player({}, false);
                    write_track(*player);
                    const double tick = tick_length_ms(*player);
                    destroy_player(player);
                    return tick;
                }());
    std::printf("playing it twice on the system clock (about 40 s)...\n");
    std::fflush(stdout);

    const Figures precise = measure(play_for_real(PollTiming::precise), expected);
    const Figures fixed = measure(play_for_real(PollTiming::fixed), expected);

    std::printf("\n%-44s %10s %10s\n", "lateness against the due moment", "precise", "fixed");
    std::printf("%-44s %10s %10s\n", "messages as expected", precise.same_messages ? "yes" : "NO",
                fixed.same_messages ? "yes" : "NO");
    std::printf("%-44s %10.3f %10.3f\n", "minimum (ms)", precise.min, fixed.min);
    std::printf("%-44s %10.3f %10.3f\n", "median (ms)", precise.median, fixed.median);
    std::printf("%-44s %10.3f %10.3f\n", "99th percentile (ms)", precise.p99, fixed.p99);
    std::printf("%-44s %10.3f %10.3f\n", "maximum (ms)", precise.max, fixed.max);
    std::printf("%-44s %10.2f %10.2f\n", "music played (s)", precise.music_s, fixed.music_s);
    std::printf("%-44s %10.3f %10.3f\n", "playback thread CPU per second of music (ms)", precise.cpu_per_s,
                fixed.cpu_per_s);
    const bool met = precise.same_messages && precise.p99 <= 1.5;
    std::printf("\ntarget: precise 99th percentile <= 1.5 ms: %s (%.3f ms)\n", met ? "met" : "NOT met", precise.p99);
    return precise.same_messages && fixed.same_messages ? 0 : 1;
}
