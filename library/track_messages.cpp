#include <tambelo/track_messages.h>

#include "library/frozen_clock_sequencer.h"
#include "library/midi/device_kinds.h"
#include "library/midi/recording_device.h"
#include "library/platform/clock.h"
#include "library/player.h"
#include "library/render/render_set.h"
#include "library/render/track_span.h"
#include "library/score_compiler.h"
#include "library/voice_fallback.h"
#include "library/voice_set.h"

#include <algorithm>
#include <iterator>
#include <memory>

namespace tambelo {

TrackMessages play_messages(FrozenClockSequencer& track, int loops)
{
    const TrackSpan span = plan_track_span(track.length(), track.tick_length_ms(), std::max(loops, 1));
    TrackMessages played;
    played.tick_length_ms = track.tick_length_ms();
    track.play_until_tick(span.end_tick, played.messages);
    played.loops = span.loops;
    played.end_ms = span.music_ms;
    played.loop_start_ms = span.loop_start_ms;
    played.loop_end_ms = span.loop_end_ms;
    return played;
}

namespace {

// A track of the set at `score_path`, with the set it reads from; no track,
// and why in `why`, when either cannot be opened.
struct OpenedTrack {
    std::unique_ptr<RenderSet> set;
    std::unique_ptr<FrozenClockSequencer> played;
};

OpenedTrack open_track(const std::string& score_path, const std::string& voice_path, std::int32_t track,
                       std::string* why)
{
    OpenedTrack opened;
    std::string reason;
    opened.set = RenderSet::open_files(score_path, voice_path, "", &reason);
    TrackOpenFailure failure = TrackOpenFailure::none;
    if (opened.set)
        opened.played = opened.set->open_track(track, &failure);
    if (!opened.played && why)
        *why = opened.set ? describe(failure) : reason;
    return opened;
}

}  // namespace

std::optional<TrackMessages> play_track_messages(const std::string& score_path, const std::string& voice_path,
                                                 std::int32_t track, int loops, std::string* why)
{
    const OpenedTrack opened = open_track(score_path, voice_path, track, why);
    if (!opened.played)
        return std::nullopt;
    const auto& played = opened.played;
    return play_messages(*played, loops);
}

TraceOutcome trace_track(const std::string& score_path, const std::string& voice_path, std::int32_t track,
                         const TraceSettings& settings, const SentMessage& sent)
{
    if (score_path.size() >= path_capacity || voice_path.size() >= path_capacity)
        return TraceOutcome::path_too_long;
    const std::uint32_t clock_start = settings.clock_start_ms;
    VirtualClock clock(clock_start);
    auto log = std::make_shared<MessageLog>();
    PlayerServices services;
    services.clock = &clock;
    services.timing = settings.fixed_poll ? PollTiming::fixed : PollTiming::precise;
    services.open_device = [&clock, log] { return std::make_unique<RecordingDevice>(clock, log); };
    PlayerHandle player(create_player(services, /*start_thread=*/false));
    if (!player)
        return TraceOutcome::out_of_memory;
    player->muted_channels = settings.muted_channels;

    // The real playback passes, one after another, as the playback thread
    // runs them; the virtual clock moves only by their sleeps. The messages
    // logged are handed on and forgotten after each pass, so that a long
    // trace does not pile up in memory.
    open_player_device(*player);
    open_file(*player, score_path.c_str(), voice_path.c_str());
    play_music(*player, track);
    bool first_pass = true;
    bool compiled = true;
    while (static_cast<std::uint32_t>(clock.now_ms() - clock_start) < settings.for_ms) {
        run_player_pass(*player);
        if (first_pass)
            compiled = player->current_track != 0;
        first_pass = false;
        for (const RecordedMessage& message : *log)
            sent(static_cast<std::uint32_t>(message.clock_ms - clock_start), message.bytes);
        log->clear();
        if (player->current_track == 0 && requested_track(*player) == 0)
            break;
    }
    return compiled ? TraceOutcome::played : TraceOutcome::not_a_score;
}

std::optional<PreparedTrack> prepare_track(const std::string& score_path, const std::string& voice_path,
                                           std::int32_t track, std::string* why)
{
    const auto failed = [why](const char* reason) -> std::optional<PreparedTrack> {
        if (why)
            *why = reason;
        return std::nullopt;
    };
    // A fresh Player without a thread or a device, as a track preparation
    // would leave it after compiling and loading.
    PlayerHandle player(create_player(PlayerServices{}, false));
    if (!player)
        return failed("out of memory");
    open_file(*player, score_path.c_str(), voice_path.c_str());
    take_track_paths(*player);
    if (player->track_paths.score[0] == '\0' || player->track_paths.voice[0] == '\0')
        return failed("path too long");
    PreparedTrack prepared;
    prepared.compiled = compile_score(*player, track);
    load_voice_set(*player, track);
    prepared.tempo = player->tempo;
    if (prepared.compiled)
        for (const EventStream& stream : player->streams)
            prepared.streams.emplace_back(stream.bytes, stream.bytes + stream.position);
    prepared.tempo_base = player->tempo_base;
    for (const VoiceEntry& voice : player->voice_table)
        prepared.voices.push_back(
            {voice.bank, voice.program, voice.volume, voice.reverb, voice.chorus, voice.key_offset, voice.pan});
    prepared.drum_map.assign(std::begin(player->drum_map), std::end(player->drum_map));
    return prepared;
}

struct SynthSoundFonts::Held {
    std::vector<PlayedSoundFont> soundfonts;
};

SynthSoundFonts::SynthSoundFonts() : held_(std::make_shared<const Held>()) {}
SynthSoundFonts::~SynthSoundFonts() = default;
SynthSoundFonts::SynthSoundFonts(const SynthSoundFonts&) = default;
SynthSoundFonts& SynthSoundFonts::operator=(const SynthSoundFonts&) = default;

SynthSoundFonts SynthSoundFonts::embedded(const std::string& chosen)
{
    SynthSoundFonts found;
    found.held_ = std::make_shared<const Held>(Held{embedded_synth_soundfonts(chosen)});
    return found;
}

std::vector<std::string> SynthSoundFonts::paths() const
{
    std::vector<std::string> paths;
    for (const PlayedSoundFont& soundfont : held_->soundfonts)
        paths.push_back(soundfont.path);
    return paths;
}

std::optional<std::vector<MissingVoice>> SynthSoundFonts::missing_voices(const std::string& score_path,
                                                                         const std::string& voice_path,
                                                                         std::int32_t track, std::string* why) const
{
    const OpenedTrack opened = open_track(score_path, voice_path, track, why);
    if (!opened.played)
        return std::nullopt;
    const auto& played = opened.played;
    std::vector<MissingVoice> missing;
    if (held_->soundfonts.empty())
        return missing;
    std::vector<std::vector<PresetNumber>> presets;
    for (const PlayedSoundFont& soundfont : held_->soundfonts)
        presets.push_back(soundfont.presets);
    for (const VoiceFallback& fallback : voice_fallbacks(track_voices(*played), presets)) {
        MissingVoice voice;
        voice.channel = fallback.asked.channel;
        voice.bank = fallback.asked.preset.bank;
        voice.program = fallback.asked.preset.program;
        if (fallback.played)
            voice.played = std::pair{fallback.played->bank, fallback.played->program};
        voice.text = describe(fallback);
        missing.push_back(std::move(voice));
    }
    return missing;
}

std::string message_bytes_text(const std::vector<std::uint8_t>& bytes)
{
    return format_message_bytes(bytes);
}

}  // namespace tambelo
