#include "library/midi/sample_timeline.h"
#include "library/platform/clock.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>
#include <vector>

namespace tambelo {
namespace {

// Notes the messages in the order the rendering thread applies them.
class OrderLog final : public TimelineSynth {
public:
    void render(float*, float*, int) override {}
    void apply_short(std::uint32_t message) override { applied.push_back(message); }
    void apply_long(const std::uint8_t*, std::size_t) override {}
    std::vector<std::uint32_t> applied;
};

// A sending thread and a pulling thread on the system clock, with more
// messages than the queue holds: every message arrives once, in order.
// Also run under ThreadSanitizer.
TEST(SampleTimelineThreads, EveryMessageIsAppliedOnceInTheOrderSent)
{
    constexpr std::uint32_t count = 3 * SampleTimeline::capacity;
    OrderLog synth;
    SampleTimeline timeline(synth, system_clock(), 48000.0, TimelineLatency{2.0, false});
    std::atomic<bool> sent{false};

    std::thread sender([&] {
        for (std::uint32_t i = 0; i < count; ++i) {
            const DueMoment due{system_clock().now_ms(), 0.5};
            while (!timeline.post_short(i, (i % 2) ? &due : nullptr))
                std::this_thread::sleep_for(std::chrono::microseconds(200));
        }
        sent = true;
    });
    std::vector<float> left(512), right(512);
    const auto give_up = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    while ((!sent || synth.applied.size() < count) && std::chrono::steady_clock::now() < give_up) {
        timeline.render(left.data(), right.data(), 512);
        std::this_thread::sleep_for(std::chrono::microseconds(100));
    }
    sender.join();

    ASSERT_EQ(synth.applied.size(), count);
    for (std::uint32_t i = 0; i < count; ++i)
        ASSERT_EQ(synth.applied[i], i);
}

}  // namespace
}  // namespace tambelo
