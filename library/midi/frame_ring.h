#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>

namespace tambelo {

// Rendered stereo sound on its way from the thread that renders it ahead to
// the audio output's thread that plays it: one writer, one reader, no lock,
// no allocation after construction. Frames are interleaved (left, right).
//
// The writer may drop everything written so far that the reader has not
// taken (a stop, another track): the reader then goes on with the first
// frame written after the drop, and learns of it, so that an output with a
// buffer of its own in the server can drop that too.
class FrameRing {
public:
    explicit FrameRing(std::size_t capacity_frames);
    FrameRing(const FrameRing&) = delete;
    FrameRing& operator=(const FrameRing&) = delete;

    std::size_t capacity() const { return capacity_; }

    // Writer: frames that can be written now without overwriting any the
    // reader has yet to take.
    std::size_t room() const;
    // Writer: appends `frames` frames; at most room().
    void write(const float* interleaved, std::size_t frames);
    // Writer: everything written so far is never to be played.
    void drop_written();

    // Reader: how many frames are waiting.
    std::size_t available() const;
    // Reader: takes up to `frames` frames into `interleaved`; returns how
    // many it took. `dropped`, when given, is set when frames were dropped
    // since the last read.
    std::size_t read(float* interleaved, std::size_t frames, bool* dropped = nullptr);

    // Reader: whether the writer dropped frames the reader has not gone past.
    bool drop_pending() const;

    // Frames written since construction (writer).
    std::uint64_t frames_written() const { return written_.load(std::memory_order_relaxed); }
    // Frames taken or dropped since construction (any thread).
    std::uint64_t frames_read() const { return read_.load(std::memory_order_acquire); }

private:
    // The first frame the reader may still take: what it read, or the drop
    // point when that lies further on.
    std::uint64_t first_to_read() const;

    const std::size_t capacity_;
    std::unique_ptr<float[]> samples_;
    std::atomic<std::uint64_t> written_{0};
    std::atomic<std::uint64_t> read_{0};
    std::atomic<std::uint64_t> drop_until_{0};
};

}  // namespace tambelo
