// The ring between the thread that renders ahead and the output's thread,
// with both sides running at once.

#include "library/midi/frame_ring.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <thread>
#include <vector>

namespace tambelo {
namespace {

// A frame's index in its two samples, each small enough to be exact in a
// float: the high bits left, the low twelve right.
void write_index(float* frame, std::uint64_t index)
{
    frame[0] = static_cast<float>(index >> 12);
    frame[1] = static_cast<float>(index & 0xFFF);
}

// Every frame carries its own index: a frame the reader takes must have been
// written, and must not lie before the last drop it has seen.
TEST(FrameRing, TheReaderTakesOnlyWrittenFramesWhileTheWriterDropsAtAnyMoment)
{
    FrameRing ring(64);
    std::atomic<bool> done{false};
    std::atomic<std::uint64_t> drops_made{0};
    std::thread writer([&] {
        std::vector<float> frames(2 * 16);
        std::uint64_t next = 1;
        for (int round = 0; round < 2000000; ++round) {
            const std::size_t count = std::min<std::size_t>(16, ring.room());
            for (std::size_t i = 0; i < count; ++i)
                write_index(&frames[2 * i], next + i);
            ring.write(frames.data(), count);
            next += count;
            if (round % 3 == 0) {
                ring.drop_written();
                drops_made.fetch_add(1, std::memory_order_relaxed);
            }
        }
        done = true;
    });
    std::vector<float> taken(2 * 8);
    std::uint64_t last = 0;
    std::uint64_t bad = 0, reads = 0;
    while (!done) {
        const std::size_t got = ring.read(taken.data(), 8);
        for (std::size_t i = 0; i < got; ++i) {
            // Frames come in order, each newer than the one before.
            const std::uint64_t index = static_cast<std::uint64_t>(taken[2 * i]) << 12 |
                                        static_cast<std::uint64_t>(taken[2 * i + 1]);
            if (index <= last)
                ++bad;
            last = index;
        }
        reads += got > 0;
    }
    writer.join();
    EXPECT_EQ(bad, 0u) << "of " << reads << " reads, with " << drops_made.load() << " drops";
    EXPECT_LE(ring.available(), ring.capacity());
}

}  // namespace
}  // namespace tambelo
