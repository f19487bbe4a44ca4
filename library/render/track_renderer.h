#pragma once

#include "library/frozen_clock_sequencer.h"
#include "library/render/frame_cursor.h"
#include "library/render/render_settings.h"
#include "library/render/rendering_length.h"
#include "library/render/seamless_cut.h"
#include "library/render/track_span.h"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

namespace tambelo {

class Synthesizer;

// How far a seek goes into a track that loops for ever without repeating
// exactly (its channels' cycles differ): reaching a moment means playing
// every event up to it, and three hours of a busy track take about 0.9 s.
inline constexpr double max_unrepeating_seek_ms = 3.0 * 3600.0 * 1000.0;
// Silence threshold of the release tail: -80 dBFS.
inline constexpr float audio_silence_level = 1e-4f;

// One track as audio, pulled: each call of render hands out the next frames,
// interleaved stereo (left, right) at the synthesizer's rate, until the end.
//
// Every message takes effect at the synthesizer's processing block (64
// frames) that begins nearest its ideal frame: at 44.1 kHz within 0.73 ms of
// its moment. A looping track's blocks are shifted (by silent frames rendered
// first and dropped) so that one begins at the first frame of the loop's
// second pass, and every message waits for the first block at or after its
// ideal frame (within 1.45 ms): the second pass then starts exactly there,
// and nothing of a pass sounds before its start, so the fade, seamless and
// forever renderings all hold the same passes.
//
// Lengths: a looping track in fade mode lasts intro + loops x loop + fade; in
// seamless mode intro + one loop (a track whose channel loops differ never
// repeats exactly and is rendered as in fade mode, and so is one whose loop
// is longer than the settings' longest_seamless_loop_ms); in forever mode it never
// ends. A track that ends by itself lasts to its end and, with the release
// tail, until 100 ms after its sound has fallen below -80 dBFS (at most 10 s
// more). The same settings give the same frames every time, however the
// frames are pulled.
//
// Not thread-safe: one thread at a time.
class TrackRenderer {
public:
    // Opens the track anew, from its start; null when it cannot be.
    using Reopen = std::function<std::unique_ptr<FrozenClockSequencer>()>;

    // Renders `track`, of which nothing has been played yet, with `synth`
    // (made fresh for it). Both must outlive the renderer. Without `reopen`
    // a seek can only go forwards.
    TrackRenderer(Synthesizer& synth, FrozenClockSequencer& track, const RenderSettings& settings, Reopen reopen = {});
    ~TrackRenderer();
    TrackRenderer(const TrackRenderer&) = delete;
    TrackRenderer& operator=(const TrackRenderer&) = delete;

    int sample_rate() const { return rate_; }

    // Writes up to `frames` frames into `out` (2 x frames values) and returns
    // how many it wrote: fewer only at the end, 0 once the end is reached.
    std::size_t render(float* out, std::size_t frames);
    // The same as 16-bit samples, converted as libsndfile writes a 16-bit
    // WAV file: the same samples as an export.
    std::size_t render(std::int16_t* out, std::size_t frames);

    // Goes to `ms` from the track's start: the synthesizer is silenced, every
    // message up to there but the notes is applied (the reset, voices, pan,
    // fine tune, controllers), and rendering goes on from there; notes that
    // began before it do not sound. Backwards too, when the renderer can
    // reopen its track. A seek to the end or beyond goes to the end (of the
    // music, before any release tail) at once. In forever mode a seek beyond
    // the loop's second pass goes to the matching moment of that pass (the
    // position says the moment asked), so that it costs the same however far
    // it goes; a track that never repeats exactly goes no further than
    // max_unrepeating_seek_ms. False when it cannot (the track no longer
    // opens, or there is no way back).
    bool seek(double ms);

    // Mutes score channels from the next message on (bit k: channel k): no
    // new note of theirs starts, while the notes already sounding end as they
    // would have; unmuting lets the next notes sound. Their other messages are
    // sent either way. Seeks keep the choice.
    void set_muted_channels(std::uint16_t muted) { settings_.muted_channels = muted; }
    std::uint16_t muted_channels() const { return settings_.muted_channels; }

    // Frames handed out since the start (a seek sets it).
    std::uint64_t position_frames() const { return position_; }
    // The whole length in frames, when known before the end is reached:
    // nothing in forever mode and for a track with its release tail.
    std::optional<std::uint64_t> length_frames() const;
    // The loop a player may repeat: in seamless mode, where the track has one.
    std::optional<AudioLoop> seamless_loop() const { return seamless_ ? loop_ : std::nullopt; }
    // True once render has handed out the last frame.
    bool ended() const;

private:
    enum class Phase { messages, flush, tail, done };

    void restart(FrozenClockSequencer* track, std::int64_t start);
    void start_at(std::uint64_t from);
    void stop_at(std::uint64_t end);
    std::optional<std::uint64_t> end_frame() const;
    std::size_t seamless_blend_frames() const;
    bool fetch_messages();
    std::int64_t boundary_of(std::int64_t frame) const;
    std::int64_t original_boundary_of(std::int64_t frame) const;
    bool produce();
    void render_piece(std::int64_t target, std::int64_t keep);
    void shape(std::int64_t frame, float* pair);
    void pass_on(std::int64_t frame);
    void emit(const float* frames, std::size_t count);
    std::int64_t tail_end() const;

    Synthesizer& synth_;
    FrozenClockSequencer* track_;
    std::unique_ptr<FrozenClockSequencer> reopened_;
    Reopen reopen_;
    RenderSettings settings_;
    int rate_;

    // The plan, fixed at construction.
    bool seamless_ = false;
    bool forever_ = false;
    bool tail_ = false;
    std::int64_t message_end_tick_ = 0;  // the first tick whose messages are not played
    std::int64_t music_frames_ = 0;
    std::int64_t fade_frames_ = 0;
    std::int64_t planned_ = 0;  // music + fade; the end unless a release tail follows
    std::int64_t lead_ = 0;     // silent frames before the first block of a fresh start
    std::int64_t round_up_ = 32;
    std::optional<AudioLoop> loop_;
    std::size_t output_end_ = 0;  // seamless: intro + loop

    // Where the rendering stands.
    Phase phase_ = Phase::messages;
    std::vector<TimedMessage> messages_;
    std::size_t next_message_ = 0;
    bool fetched_all_ = false;
    std::int64_t start_ = 0;       // the frame at which the synthesizer started
    std::int64_t start_lead_ = 0;  // the silent frames it rendered first
    FrameCursor cursor_;           // frames rendered
    std::int64_t written_ = 0;     // frames passed on
    std::int64_t loud_end_ = 0;    // one past the last loud frame of the tail
    std::vector<float> pending_;   // frames from written_ to the cursor
    std::unique_ptr<SeamlessCut> cut_;
    std::uint64_t emitted_ = 0;     // frames out of the rendering (after the cut)
    std::uint64_t drop_until_ = 0;  // frames before this one are not handed out (a seek)
    std::vector<float> ready_;      // frames ready to be handed out
    std::size_t ready_read_ = 0;    // values of ready_ already handed out
    std::uint64_t position_ = 0;
};

}  // namespace tambelo
