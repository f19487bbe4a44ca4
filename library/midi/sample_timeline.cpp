#include "library/midi/sample_timeline.h"

#include "library/platform/clock.h"
#include "library/render/frame_cursor.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace tambelo {
namespace {

// A message that came too late raises the latency to what it needed and
// this much more, so that the next one as late is not late again.
constexpr double late_margin_ms = 2.0;

// A raised latency sinks back towards its floor at this pace (0.2 ms a
// second): slow enough that no listener hears the music move, fast enough
// that a stall of the sending thread costs little delay a few minutes on.
constexpr double latency_sink_per_ms = 2e-4;

// For this long the renderings' spread is not judged: a server settles its
// buffering in the first moments. After that, timing is given up only when
// the spread has stayed too wide for a while, not for one stall.
constexpr double spread_settling_ms = 2000.0;
constexpr double spread_too_wide_for_ms = 3000.0;

std::int64_t floor_div(std::int64_t value, std::int64_t divisor)
{
    const std::int64_t quotient = value / divisor;
    return (value % divisor != 0 && value < 0) ? quotient - 1 : quotient;
}

}  // namespace

SampleTimeline::SampleTimeline(TimelineSynth& synth, Clock& clock, double sample_rate,
                               const TimelineLatency& latency, int block_frames)
    : synth_(synth),
      clock_(clock),
      latency_(latency),
      block_frames_(std::max(block_frames, 1)),
      epoch_ms_(clock.precise_ms()),
      entries_(new Entry[capacity]),
      stream_rate_(sample_rate),
      clock_rate_(sample_rate),
      frame_clock_(sample_rate / 1000.0),
      latency_ms_(latency.start_ms)
{
}

SampleTimeline::~SampleTimeline() = default;

double SampleTimeline::moment_of(const DueMoment* due)
{
    const double now = clock_.precise_ms();
    if (due == nullptr)
        return now - epoch_ms_;
    // The reading is a whole millisecond of the same count as `now`, at most
    // a few seconds back; the wrap of the 32-bit count is undone by taking
    // the difference in 32 bits.
    const double whole = std::floor(now);
    const auto reading_now = static_cast<std::uint32_t>(static_cast<std::uint64_t>(whole));
    const auto behind_ms = static_cast<std::int32_t>(reading_now - due->reading_ms);
    return whole - static_cast<double>(behind_ms) - due->late_ms - epoch_ms_;
}

bool SampleTimeline::push(const Entry& entry)
{
    const std::size_t tail = tail_.load(std::memory_order_relaxed);
    if (tail - head_.load(std::memory_order_acquire) >= capacity)
        return false;
    entries_[tail % capacity] = entry;
    tail_.store(tail + 1, std::memory_order_release);
    return true;
}

bool SampleTimeline::post_short(std::uint32_t message, const DueMoment* due)
{
    Entry entry;
    entry.moment_ms = moment_of(due);
    entry.short_message = message;
    entry.long_length = 0;
    return push(entry);
}

bool SampleTimeline::post_long(const std::uint8_t* bytes, std::size_t length, const DueMoment* due)
{
    if (bytes == nullptr || length == 0 || length > max_long_bytes)
        return false;
    Entry entry;
    entry.moment_ms = moment_of(due);
    entry.short_message = 0;
    entry.long_length = static_cast<std::uint32_t>(length);
    std::memcpy(entry.long_bytes, bytes, length);
    return push(entry);
}

void SampleTimeline::set_stream_rate(double sample_rate)
{
    if (sample_rate > 0.0)
        stream_rate_.store(sample_rate, std::memory_order_relaxed);
}

// Before a rendering: the frame clock learns when this one runs and how far
// it reaches, the raised latency sinks a little, and timing is given up when
// the bursts have spread too wide to be covered.
void SampleTimeline::follow_stream(double now_ms, int frames)
{
    if (const double rate = stream_rate_.load(std::memory_order_relaxed); rate != clock_rate_) {
        clock_rate_ = rate;
        frame_clock_ = FrameClock(rate / 1000.0);
    }
    if (latency_.adaptive && frame_clock_.started())
        latency_ms_ = std::max(latency_.start_ms,
                               latency_ms_ - latency_sink_per_ms * std::max(now_ms - last_render_ms_, 0.0));
    last_render_ms_ = now_ms;
    frame_clock_.rendered(now_ms, position_ + frames);
    const bool too_wide = frame_clock_.followed_ms() >= spread_settling_ms &&
                          frame_clock_.spread_frames() > max_spread_ms * frame_clock_.frames_per_ms();
    if (!too_wide)
        too_wide_since_ms_ = now_ms;
    else if (now_ms - too_wide_since_ms_ >= spread_too_wide_for_ms)
        gave_up_.store(true, std::memory_order_relaxed);
}

std::int64_t SampleTimeline::frame_of(double moment_ms) const
{
    const double exact = frame_clock_.edge_frame_at(moment_ms) + latency_ms_ * frame_clock_.frames_per_ms();
    const auto frame = static_cast<std::int64_t>(std::llround(exact));
    // The nearest start of one of the synth's blocks: the synth can apply a
    // message nowhere else, and the nearest keeps the error within half a
    // block either way.
    return floor_div(frame + block_frames_ / 2, block_frames_) * block_frames_;
}

void SampleTimeline::note_late(std::int64_t frames_late)
{
    late_.fetch_add(1, std::memory_order_relaxed);
    if (!latency_.adaptive || frames_late <= 0)
        return;
    const double needed_ms = latency_ms_ + static_cast<double>(frames_late) / frame_clock_.frames_per_ms();
    latency_ms_ = std::min(std::max(latency_ms_, needed_ms + late_margin_ms), latency_.ceiling_ms);
}

void SampleTimeline::render_span(float*& left, float*& right, std::int64_t until)
{
    render_up_to(position_, until, until - position_, false, [&](std::int64_t count) {
        const auto frames = static_cast<int>(count);
        synth_.render(left, right, frames);
        left += frames;
        right += frames;
    });
}

void SampleTimeline::render(float* left, float* right, int frames)
{
    if (frames <= 0)
        return;
    follow_stream(clock_.precise_ms() - epoch_ms_, frames);
    const bool timed = !gave_up_.load(std::memory_order_relaxed);
    const std::int64_t end = position_ + frames;
    for (;;) {
        const std::size_t head = head_.load(std::memory_order_relaxed);
        if (head == tail_.load(std::memory_order_acquire))
            break;
        const Entry& entry = entries_[head % capacity];
        const std::int64_t frame = timed ? frame_of(entry.moment_ms) : position_;
        if (frame >= end)
            break;
        if (frame < position_)
            note_late(frame_clock_.dropped() ? 0 : position_ - frame);
        render_span(left, right, frame);
        if (entry.long_length == 0)
            synth_.apply_short(entry.short_message);
        else
            synth_.apply_long(entry.long_bytes, entry.long_length);
        head_.store(head + 1, std::memory_order_release);
    }
    render_span(left, right, end);
}

}  // namespace tambelo
