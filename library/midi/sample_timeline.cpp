#include "library/midi/sample_timeline.h"

#include "library/platform/clock.h"
#include "library/render/frame_cursor.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace tambelo {
namespace {

// The renderings' lead over the clock is compared with its upper edge over
// the last two windows of this length, so that the pattern of bursts, which
// reaches its highest lead only now and then, does not move the mapping.
constexpr double lead_window_ms = 10000.0;

// When a rendering runs further ahead than the mapping allows for, the
// mapping moves up to it and this much beyond, so that the next slightly
// higher burst does not move it again (each move shifts the notes after it).
constexpr double lead_headroom_ms = 1.0;

// For this long after the first rendering (while the output fills its
// buffer and before any music can be due) the mapping follows the highest
// lead at once. After that it jumps only for a lead more than half the
// latency above it; a smaller excess eats into the latency's margin but
// moves no note, and is followed slowly.
constexpr double lead_settling_ms = 500.0;

// The mapping moves back only when the renderings have stayed more than
// this below it (beyond the headroom) for a whole window, and forward when
// they have run past it by more than the headroom: the audio device's clock
// running slower or faster than ours, or bursts that have settled. It then
// moves at 0.1 ms per second (100 ppm, more than a sound card's clock
// strays), shifting a note by 0.005 ms against its neighbour 50 ms away.
constexpr double lead_dead_band_ms = 1.0;
constexpr double lead_slew_per_ms = 1e-4;

std::int64_t floor_div(std::int64_t value, std::int64_t divisor)
{
    const std::int64_t quotient = value / divisor;
    return (value % divisor != 0 && value < 0) ? quotient - 1 : quotient;
}

}  // namespace

SampleTimeline::SampleTimeline(TimelineSynth& synth, Clock& clock, double sample_rate,
                               double latency_ms, int block_frames)
    : synth_(synth),
      clock_(clock),
      frames_per_ms_(sample_rate / 1000.0),
      latency_ms_(latency_ms),
      block_frames_(std::max(block_frames, 1)),
      epoch_ms_(clock.precise_ms()),
      entries_(new Entry[capacity])
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

// A message posted at any moment after this rendering began must land at or
// after the frame this rendering ends on. Mapping the clock to frames with
// the largest lead seen (frames rendered minus clock time in frames) makes
// that so for every message whose moment lies less than the latency back.
// The lead rises at once when a rendering runs further ahead, and falls back
// only slowly, towards the upper edge of the recent renderings.
void SampleTimeline::follow_lead(double now_ms, int frames)
{
    const double lead = static_cast<double>(position_ + frames) - now_ms * frames_per_ms_;
    const double headroom = lead_headroom_ms * frames_per_ms_;
    if (!anchored_) {
        anchored_ = true;
        lead_frames_ = lead + headroom;
        window_max_ = previous_window_max_ = lead;
        anchor_ms_ = window_start_ms_ = last_render_ms_ = now_ms;
        return;
    }
    if (now_ms - window_start_ms_ >= lead_window_ms) {
        previous_window_max_ = window_max_;
        window_max_ = lead;
        window_start_ms_ = now_ms;
    } else {
        window_max_ = std::max(window_max_, lead);
    }
    const double edge = std::max(window_max_, previous_window_max_);
    const bool settling = now_ms - anchor_ms_ < lead_settling_ms;
    const double tolerance = settling ? 0.0 : 0.5 * latency_ms_ * frames_per_ms_;
    const double step = lead_slew_per_ms * std::max(now_ms - last_render_ms_, 0.0) * frames_per_ms_;
    if (lead > lead_frames_ + tolerance)
        lead_frames_ = lead + headroom;
    else if (edge > lead_frames_ + headroom)
        lead_frames_ += step;
    else if (lead_frames_ - edge > headroom + lead_dead_band_ms * frames_per_ms_)
        lead_frames_ -= step;
    last_render_ms_ = now_ms;
}

std::int64_t SampleTimeline::frame_of(double moment_ms) const
{
    const double exact = (moment_ms + latency_ms_) * frames_per_ms_ + lead_frames_;
    const auto frame = static_cast<std::int64_t>(std::llround(exact));
    // The nearest start of one of the synth's blocks: the synth can apply a
    // message nowhere else, and the nearest keeps the error within half a
    // block either way.
    return floor_div(frame + block_frames_ / 2, block_frames_) * block_frames_;
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
    follow_lead(clock_.precise_ms() - epoch_ms_, frames);
    const std::int64_t end = position_ + frames;
    for (;;) {
        const std::size_t head = head_.load(std::memory_order_relaxed);
        if (head == tail_.load(std::memory_order_acquire))
            break;
        const Entry& entry = entries_[head % capacity];
        const std::int64_t frame = frame_of(entry.moment_ms);
        if (frame >= end)
            break;
        if (frame < position_)
            late_.fetch_add(1, std::memory_order_relaxed);
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
