#include "library/midi/frame_pacer.h"

#include <algorithm>
#include <cmath>

namespace tambelo {
namespace {

constexpr std::int64_t piece_frames = 512;

}  // namespace

FramePacer::FramePacer(PacedSynth& synth, FrameRing& ring, double sample_rate, Wait wait,
                       int block_frames)
    : synth_(synth),
      ring_(ring),
      rate_(sample_rate),
      block_frames_(std::max(block_frames, 1)),
      wait_(std::move(wait)),
      left_(piece_frames),
      right_(piece_frames),
      interleaved_(piece_frames * 2)
{
}

double FramePacer::reading_ms() const
{
    return static_cast<double>(position_) * 1000.0 / rate_ + lead_ms;
}

double FramePacer::precise_ms()
{
    return reading_ms();
}

std::uint32_t FramePacer::now_ms()
{
    return static_cast<std::uint32_t>(static_cast<std::uint64_t>(std::floor(precise_ms())));
}

void FramePacer::sleep_ms(std::uint32_t duration_ms)
{
    const double target_ms = std::floor(precise_ms()) + static_cast<double>(duration_ms);
    // The first frame at which the reading has reached the target.
    const auto target = static_cast<std::int64_t>(std::ceil((target_ms - lead_ms) * rate_ / 1000.0));
    render_until(target);
}

std::int64_t FramePacer::frame_of(const DueMoment* due) const
{
    const double now = reading_ms();
    double moment = now;
    if (due) {
        // The reading the sequencer took (an integer, perhaps a few
        // milliseconds back) less the time by which the tick was late.
        const std::uint32_t reading = static_cast<std::uint32_t>(static_cast<std::uint64_t>(std::floor(now)));
        const std::uint32_t back = reading - due->reading_ms;
        moment = std::floor(now) - static_cast<double>(back) - due->late_ms;
    }
    const double frame = moment * rate_ / 1000.0;
    const double block = static_cast<double>(block_frames_);
    return static_cast<std::int64_t>(std::llround(frame / block)) * block_frames_;
}

void FramePacer::queue(Message message)
{
    message.frame = std::max({message.frame, last_frame_, position_});
    last_frame_ = message.frame;
    queued_.push_back(std::move(message));
}

void FramePacer::post_short(std::uint32_t message, const DueMoment* due)
{
    queue({frame_of(due), message, {}});
}

void FramePacer::post_long(const std::uint8_t* bytes, std::size_t length, const DueMoment* due)
{
    queue({frame_of(due), 0, std::vector<std::uint8_t>(bytes, bytes + length)});
}

void FramePacer::apply(const Message& message)
{
    if (message.long_bytes.empty())
        synth_.apply_short(message.short_message);
    else
        synth_.apply_long(message.long_bytes.data(), message.long_bytes.size());
}

void FramePacer::apply_due_messages()
{
    while (!queued_.empty() && queued_.front().frame <= position_) {
        apply(queued_.front());
        queued_.pop_front();
    }
}

void FramePacer::render_until(std::int64_t frame)
{
    for (;;) {
        apply_due_messages();
        if (position_ >= frame)
            return;
        const std::size_t room = ring_.room();
        if (room == 0) {
            if (interrupted_ && interrupted_())
                return;
            if (wait_)
                wait_();
            continue;
        }
        std::int64_t until = std::min(frame, position_ + static_cast<std::int64_t>(room));
        if (!queued_.empty())
            until = std::min(until, queued_.front().frame);
        const int count = static_cast<int>(std::min(until - position_, piece_frames));
        std::fill_n(left_.begin(), count, 0.0f);
        std::fill_n(right_.begin(), count, 0.0f);
        synth_.render(left_.data(), right_.data(), count);
        for (int i = 0; i < count; ++i) {
            interleaved_[2 * static_cast<std::size_t>(i)] = left_[static_cast<std::size_t>(i)];
            interleaved_[2 * static_cast<std::size_t>(i) + 1] = right_[static_cast<std::size_t>(i)];
        }
        ring_.write(interleaved_.data(), static_cast<std::size_t>(count));
        position_ += count;
    }
}

void FramePacer::drop_rendered()
{
    while (!queued_.empty()) {
        apply(queued_.front());
        queued_.pop_front();
    }
    last_frame_ = position_;
    ring_.drop_written();
}

}  // namespace tambelo
