#include "library/midi/frame_ring.h"

#include <algorithm>

namespace tambelo {

FrameRing::FrameRing(std::size_t capacity_frames)
    : capacity_(std::max<std::size_t>(capacity_frames, 1)), samples_(new float[capacity_ * 2]())
{
}

std::uint64_t FrameRing::first_to_read() const
{
    return std::max(read_.load(std::memory_order_acquire), drop_until_.load(std::memory_order_acquire));
}

std::size_t FrameRing::room() const
{
    // Dropped frames still count until the reader has gone past them: it may
    // be copying some of them just now.
    const std::uint64_t queued = written_.load(std::memory_order_relaxed) - read_.load(std::memory_order_acquire);
    return capacity_ - static_cast<std::size_t>(std::min<std::uint64_t>(queued, capacity_));
}

void FrameRing::write(const float* interleaved, std::size_t frames)
{
    std::uint64_t position = written_.load(std::memory_order_relaxed);
    frames = std::min(frames, room());
    while (frames > 0) {
        const std::size_t at = static_cast<std::size_t>(position % capacity_);
        const std::size_t piece = std::min(frames, capacity_ - at);
        std::copy(interleaved, interleaved + piece * 2, samples_.get() + at * 2);
        interleaved += piece * 2;
        frames -= piece;
        position += piece;
    }
    written_.store(position, std::memory_order_release);
}

void FrameRing::drop_written()
{
    drop_until_.store(written_.load(std::memory_order_relaxed), std::memory_order_release);
}

std::size_t FrameRing::available() const
{
    const std::uint64_t written = written_.load(std::memory_order_acquire);
    const std::uint64_t first = first_to_read();
    return written > first ? static_cast<std::size_t>(written - first) : 0;
}

bool FrameRing::drop_pending() const
{
    return drop_until_.load(std::memory_order_acquire) > read_.load(std::memory_order_relaxed);
}

std::size_t FrameRing::read(float* interleaved, std::size_t frames, bool* dropped)
{
    const std::uint64_t was_read = read_.load(std::memory_order_relaxed);
    const std::uint64_t written = written_.load(std::memory_order_acquire);
    // Read after `written`: a drop made after the frames were written is
    // seen, and none of the dropped frames is played.
    std::uint64_t position = std::max(was_read, drop_until_.load(std::memory_order_acquire));
    if (dropped)
        *dropped = position != was_read;
    // A drop made after `written` was read lies beyond it: nothing to take
    // yet, and the reader never passes what has been written.
    const std::size_t count =
        position < written ? static_cast<std::size_t>(std::min<std::uint64_t>(frames, written - position)) : 0;
    for (std::size_t done = 0; done < count;) {
        const std::size_t at = static_cast<std::size_t>(position % capacity_);
        const std::size_t piece = std::min(count - done, capacity_ - at);
        std::copy(samples_.get() + at * 2, samples_.get() + (at + piece) * 2, interleaved + done * 2);
        done += piece;
        position += piece;
    }
    read_.store(position, std::memory_order_release);
    return count;
}

}  // namespace tambelo
