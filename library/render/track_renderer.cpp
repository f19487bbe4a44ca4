#include "library/render/track_renderer.h"

#include "library/render/synthesizer.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace tambelo {
namespace {

constexpr std::int64_t block_frames = 64;    // FluidSynth's processing block
constexpr std::int64_t piece_frames = 4096;  // rendered at most at once
constexpr std::int64_t tail_step_frames = block_frames * 16;
constexpr std::int64_t ticks_per_fetch = 256;
static_assert(never_ending_frames > last_frame);

std::int64_t floor_div(std::int64_t value, std::int64_t divisor)
{
    const std::int64_t quotient = value / divisor;
    return (value % divisor != 0 && value < 0) ? quotient - 1 : quotient;
}

std::int64_t frame_of(double time_ms, int rate)
{
    return static_cast<std::int64_t>(frame_at_ms(time_ms, rate));
}

// Notes start and stop sound; everything else sets a channel's state.
bool is_note(const TimedMessage& message)
{
    if (message.bytes.empty())
        return false;
    const int kind = message.bytes[0] & 0xF0;
    return kind == 0x80 || kind == 0x90 || kind == 0xA0;
}

// A note that starts on a channel of `muted`. Releases still pass, so that
// a note that sounded before its channel was muted ends in time.
bool is_muted_note_on(const TimedMessage& message, std::uint16_t muted)
{
    return message.channel >= 0 && (muted >> message.channel & 1U) != 0 && message.bytes.size() == 3 &&
           (message.bytes[0] & 0xF0) == 0x90 && message.bytes[2] != 0;
}

// A sample as libsndfile writes it to a 16-bit file with clipping on: scaled
// to 32 bits, rounded, clipped, and its upper half kept (which rounds
// towards minus infinity), so that a rendering holds a WAV export's samples.
std::int16_t to_int16(float sample)
{
    const float scaled = sample * 2147483648.0f;
    std::int32_t wide = 0;
    if (scaled >= 2147483647.0f)
        wide = std::numeric_limits<std::int32_t>::max();
    else if (scaled <= -2147483648.0f)
        wide = std::numeric_limits<std::int32_t>::min();
    else
        wide = static_cast<std::int32_t>(std::lrintf(scaled));
    return static_cast<std::int16_t>(wide >> 16);
}

}  // namespace

TrackRenderer::TrackRenderer(Synthesizer& synth, FrozenClockSequencer& track, const RenderSettings& settings, Reopen reopen)
    : synth_(synth), track_(&track), reopen_(std::move(reopen)), settings_(settings), rate_(synth.sample_rate())
{
    const TrackLength& length = track.length();
    const double tick_ms = track.tick_length_ms();
    const bool loops = length.kind == TrackLength::Kind::loops;
    loop_ = loop_frames(length, tick_ms, rate_);
    const RenderingPlan plan = plan_rendering(length, tick_ms, settings, rate_);
    seamless_ = plan.seamless;
    forever_ = plan.forever;
    tail_ = plan.tail;
    if (seamless_)
        message_end_tick_ = length.loop_start_tick + 2 * length.loop_ticks;
    else if (forever_)
        message_end_tick_ = never_ending_frames;
    else if (loops)
        message_end_tick_ = track.first_tick_from_ms(
            plan_track_span(length, tick_ms, settings.loops).music_ms + settings.fade_ms);
    else
        message_end_tick_ = plan_track_span(length, tick_ms, settings.loops).end_tick;
    music_frames_ = plan.music_frames;
    fade_frames_ = plan.fade_frames;
    planned_ = plan.planned;
    output_end_ = static_cast<std::size_t>(plan.output_frames);
    if (loops && loop_) {
        const std::int64_t second_pass = loop_->start_frame + loop_->length_frames;
        lead_ = (block_frames - second_pass % block_frames) % block_frames;
        round_up_ = block_frames - 1;
    } else {
        lead_ = 0;
        round_up_ = block_frames / 2;
    }
    restart(track_, 0);
}

TrackRenderer::~TrackRenderer() = default;

// A new synthesizer that starts at frame `start` (0, or a block of the grid of a rendering
// from 0), for `track`, not yet played.
void TrackRenderer::restart(FrozenClockSequencer* track, std::int64_t start)
{
    track_ = track;
    // A new synthesizer rather than a reset one: a reset leaves the effects'
    // buffers ringing with what was played before.
    synth_.start_fresh();
    start_ = start;
    start_lead_ = start == 0 ? lead_ : 0;
    std::vector<float> dropped(static_cast<std::size_t>(2 * start_lead_));
    synth_.write(dropped.data(), static_cast<std::size_t>(start_lead_));
    cursor_.place(start);
    written_ = start;
    loud_end_ = planned_;
    pending_.clear();
    cut_.reset();
    if (seamless_) {
        const auto intro = static_cast<std::size_t>(loop_->start_frame);
        const auto body = static_cast<std::size_t>(loop_->length_frames);
        cut_ = std::make_unique<SeamlessCut>(
            intro, body, seamless_blend_frames(),
            [this](const float* frames, std::size_t count) {
                emit(frames, count);
                return true;
            },
            static_cast<std::size_t>(start));
    }
    emitted_ = static_cast<std::uint64_t>(start);
    drop_until_ = 0;
    ready_.clear();
    ready_read_ = 0;
    position_ = 0;
    phase_ = Phase::messages;
    messages_.clear();
    next_message_ = 0;
    fetched_all_ = false;
}

std::size_t TrackRenderer::seamless_blend_frames() const
{
    return std::min(static_cast<std::size_t>(loop_->length_frames) / 4, frame_at_ms(seamless_blend_ms, rate_));
}

// The next ticks' messages; false when the track has no more to give.
bool TrackRenderer::fetch_messages()
{
    messages_.clear();
    next_message_ = 0;
    if (fetched_all_)
        return false;
    const std::int64_t next = track_->next_tick();
    const std::int64_t until =
        message_end_tick_ - next > ticks_per_fetch ? next + ticks_per_fetch : message_end_tick_;
    track_->play_until_tick(until, messages_);
    fetched_all_ = track_->ended() || track_->next_tick() >= message_end_tick_;
    return true;
}

std::int64_t TrackRenderer::boundary_of(std::int64_t frame) const
{
    const std::int64_t boundary = floor_div(frame - start_ + start_lead_ + round_up_, block_frames) * block_frames;
    return boundary < start_lead_ ? start_ : boundary - start_lead_ + start_;
}

std::int64_t TrackRenderer::original_boundary_of(std::int64_t frame) const
{
    const std::int64_t boundary = floor_div(frame + lead_ + round_up_, block_frames) * block_frames;
    return boundary < lead_ ? 0 : boundary - lead_;
}

std::int64_t TrackRenderer::tail_end() const
{
    const std::int64_t quiet = frame_of(quiet_end_ms, rate_);
    const std::int64_t limit = planned_ + frame_of(max_release_tail_ms, rate_);
    return std::min(loud_end_ + quiet, limit);
}

// One step of the rendering: a piece of sound, a message, or a change of
// phase. False once everything is rendered.
bool TrackRenderer::produce()
{
    switch (phase_) {
    case Phase::messages: {
        if (next_message_ == messages_.size()) {
            if (!fetch_messages()) {
                phase_ = Phase::flush;
            } else if (messages_.empty()) {
                // Ticks without messages: everything up to the next tick's
                // block can already be rendered.
                const double next_ms = tick_time_ms(track_->next_tick(), track_->tick_length_ms());
                const std::int64_t known = std::min(boundary_of(frame_of(next_ms, rate_)), planned_);
                if (cursor_.position() < known)
                    render_piece(known, planned_);
            }
            return true;
        }
        const TimedMessage& message = messages_[next_message_];
        const std::int64_t boundary = boundary_of(frame_of(message.time_ms, rate_));
        if (boundary >= planned_ && !tail_) {
            phase_ = Phase::flush;
        } else if (cursor_.position() < boundary) {
            render_piece(boundary, planned_);
        } else {
            if (!is_muted_note_on(message, settings_.muted_channels))
                synth_.send(message);
            ++next_message_;
        }
        return true;
    }
    case Phase::flush: {
        const std::int64_t target = boundary_of(planned_ + block_frames - 1 - round_up_);
        if (cursor_.position() < target) {
            render_piece(target, planned_);
        } else {
            pass_on(std::min(cursor_.position(), planned_));
            phase_ = tail_ ? Phase::tail : Phase::done;
        }
        return true;
    }
    case Phase::tail: {
        // Rendering goes on until a stretch of 100 ms stays below the threshold.
        const std::int64_t end = tail_end();
        pass_on(std::min(cursor_.position(), end));
        if (cursor_.position() < end)
            render_piece(cursor_.position() + tail_step_frames, end);
        else
            phase_ = Phase::done;
        return true;
    }
    case Phase::done:
        return false;
    }
    return false;
}

// Renders one piece towards `target`, passing on what lies before `keep`.
void TrackRenderer::render_piece(std::int64_t target, std::int64_t keep)
{
    cursor_.render_to(target, piece_frames, true, [this](std::int64_t count) {
        const std::size_t at = pending_.size();
        pending_.resize(at + static_cast<std::size_t>(2 * count));
        float* out = pending_.data() + at;
        synth_.write(out, static_cast<std::size_t>(count));
        const std::int64_t first = cursor_.position();
        for (std::int64_t i = 0; i < count; ++i)
            shape(first + i, out + 2 * i);
    });
    pass_on(std::min(cursor_.position(), keep));
}

void TrackRenderer::shape(std::int64_t frame, float* pair)
{
    if (frame >= music_frames_ && frame < planned_ && fade_frames_ > 0) {
        const float gain = static_cast<float>(planned_ - frame) / static_cast<float>(fade_frames_);
        pair[0] *= gain;
        pair[1] *= gain;
    }
    if (tail_ && frame >= planned_ &&
        (std::fabs(pair[0]) >= audio_silence_level || std::fabs(pair[1]) >= audio_silence_level))
        loud_end_ = frame + 1;
}

// Frames up to `frame` are certain to belong to the result.
void TrackRenderer::pass_on(std::int64_t frame)
{
    if (frame <= written_)
        return;
    const auto count = static_cast<std::size_t>(frame - written_);
    if (cut_)
        cut_->take(pending_.data(), count);
    else
        emit(pending_.data(), count);
    pending_.erase(pending_.begin(), pending_.begin() + static_cast<std::ptrdiff_t>(2 * count));
    written_ = frame;
}

void TrackRenderer::emit(const float* frames, std::size_t count)
{
    std::size_t skip = 0;
    if (emitted_ < drop_until_)
        skip = static_cast<std::size_t>(std::min<std::uint64_t>(drop_until_ - emitted_, count));
    ready_.insert(ready_.end(), frames + 2 * skip, frames + 2 * count);
    emitted_ += count;
}

std::size_t TrackRenderer::render(float* out, std::size_t frames)
{
    while (ready_.size() - ready_read_ < 2 * frames && produce()) {
    }
    const std::size_t count = std::min(frames, (ready_.size() - ready_read_) / 2);
    std::copy_n(ready_.begin() + static_cast<std::ptrdiff_t>(ready_read_), 2 * count, out);
    ready_read_ += 2 * count;
    if (ready_read_ == ready_.size()) {
        ready_.clear();
        ready_read_ = 0;
    } else if (ready_read_ >= ready_.size() / 2) {
        ready_.erase(ready_.begin(), ready_.begin() + static_cast<std::ptrdiff_t>(ready_read_));
        ready_read_ = 0;
    }
    position_ += count;
    return count;
}

std::size_t TrackRenderer::render(std::int16_t* out, std::size_t frames)
{
    std::vector<float> scratch(2 * std::min<std::size_t>(frames, piece_frames));
    std::size_t done = 0;
    while (done < frames) {
        const std::size_t got = render(scratch.data(), std::min(frames - done, scratch.size() / 2));
        for (std::size_t i = 0; i < 2 * got; ++i)
            out[2 * done + i] = to_int16(scratch[i]);
        done += got;
        if (got == 0)
            break;
    }
    return done;
}

std::optional<std::uint64_t> TrackRenderer::length_frames() const
{
    if (forever_ || tail_)
        return std::nullopt;
    if (seamless_)
        return output_end_;
    return static_cast<std::uint64_t>(planned_);
}

bool TrackRenderer::ended() const
{
    return phase_ == Phase::done && ready_read_ == ready_.size();
}

bool TrackRenderer::seek(double ms)
{
    // Times beyond the last frame name the last frame, so that a moment and
    // the frame reported for it agree however far the seek goes.
    const double asked_ms = std::min(ms, static_cast<double>(last_frame) * 1000.0 / rate_);
    const std::uint64_t target = frame_at_ms(asked_ms, rate_);
    if (const auto end = end_frame(); end && target >= *end) {
        stop_at(*end);
        return true;
    }
    // For ever: the same moment of an earlier pass, so that a seek costs the
    // same wherever it goes.
    std::uint64_t from = target;
    if (forever_) {
        const auto moment = repeated_moment_ms(track_->length(), track_->tick_length_ms(), asked_ms);
        from = moment ? frame_at_ms(*moment, rate_)
                      : std::min<std::uint64_t>(target, frame_at_ms(max_unrepeating_seek_ms, rate_));
    }
    if (!reopen_) {
        // Only forwards, by rendering what lies between.
        if (from < position_)
            return false;
        std::vector<float> dropped(2 * piece_frames);
        while (position_ < from)
            if (render(dropped.data(), static_cast<std::size_t>(std::min<std::uint64_t>(from - position_, piece_frames))) == 0)
                break;
        return true;
    }
    auto track = reopen_();
    if (!track)
        return false;
    reopened_.reset();  // `track_` may point here; it is replaced below
    reopened_ = std::move(track);
    start_at(from);
    // A track that does not repeat stands where the seek stopped.
    position_ = forever_ && !loop_ ? from : target;
    return true;
}

// The frame after the last one, where it is known before rendering: a
// release tail starts at the end of the music, and a seek does not go into it.
std::optional<std::uint64_t> TrackRenderer::end_frame() const
{
    if (forever_)
        return std::nullopt;
    if (tail_)
        return static_cast<std::uint64_t>(planned_);
    return length_frames();
}

// Everything handed out: a seek to the end or beyond.
void TrackRenderer::stop_at(std::uint64_t end)
{
    phase_ = Phase::done;
    pending_.clear();
    ready_.clear();
    ready_read_ = 0;
    position_ = end;
}

// Renders on from frame `from` of the reopened track.
void TrackRenderer::start_at(std::uint64_t from)
{
    // Seamless: the kept pass begins with the first pass's overhang, so the
    // rendering goes on from the intro's blend at the latest; at most a
    // pass (a bounded length) is rendered before the target.
    auto to = static_cast<std::int64_t>(from);
    if (seamless_) {
        const std::int64_t intro = loop_->start_frame;
        to = std::min(to, intro - std::min(intro, static_cast<std::int64_t>(seamless_blend_frames())));
    }
    // The synthesizer's block at or before there, on the grid of a
    // rendering from the start.
    const std::int64_t start = to - (((to + lead_) % block_frames) + block_frames) % block_frames;
    const bool from_zero = start <= 0;
    restart(reopened_.get(), from_zero ? 0 : start);
    drop_until_ = from;
    if (from_zero)
        return;  // rendered from the start, the frames before the target dropped
    // The synthesizer starts at `start` with everything but the notes that a
    // rendering from the start would have applied by then.
    for (;;) {
        if (next_message_ == messages_.size()) {
            if (!fetch_messages())
                break;
            const double next_ms = tick_time_ms(track_->next_tick(), track_->tick_length_ms());
            if (messages_.empty() && original_boundary_of(frame_of(next_ms, rate_)) > start)
                break;
            continue;
        }
        const TimedMessage& message = messages_[next_message_];
        if (original_boundary_of(frame_of(message.time_ms, rate_)) > start)
            break;
        if (!is_note(message))
            synth_.send(message);
        ++next_message_;
    }
}

}  // namespace tambelo
