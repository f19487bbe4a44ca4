// The rendering library's promise that different tracks of one set render on
// different threads at once: four threads open, render, seek and close tracks
// of one set, and each gets the samples a lone thread gets. Run under
// ThreadSanitizer too, where FluidSynth's process-wide set-up and tear-down
// (made and freed with each synthesizer) would otherwise race.
#include "cli/authoring/set_packer.h"
#include "tests/support/temp_dir.h"

#include <tambelo/render.h>

#include <gtest/gtest.h>

#include <atomic>
#include <filesystem>
#include <thread>
#include <vector>

namespace tambelo {
namespace {

constexpr std::size_t frames = 2048;

// `frames` frames of track `number` from `ms` on; empty when it fails.
std::vector<float> rendering(const tambelo_set* set, int number, double ms)
{
    tambelo_track* track = nullptr;
    if (tambelo_track_open(set, number, nullptr, &track) != nullptr)
        return {};
    std::vector<float> out(2 * frames);
    const bool sought = tambelo_track_seek(track, ms) == nullptr;
    const std::size_t got = tambelo_track_render_float(track, out.data(), frames);
    tambelo_track_close(track);
    return sought && got == frames ? out : std::vector<float>();
}

TEST(RenderThreads, FourThreadsRenderTracksOfOneSetAsOneThreadDoes)
{
    testing::TempDir folder;
    ASSERT_EQ(write_packed_set(pack_set(std::filesystem::path(TAMBELO_SOURCE_DIR) / "samples"), folder.path()), "");
    tambelo_set* set = nullptr;
    ASSERT_EQ(tambelo_set_open_path((folder.path() / "amus.dat").string().c_str(), &set), nullptr);
    constexpr int threads = 4;
    constexpr int rounds = 2;
    auto track_of = [](int thread, int round) { return 1 + (thread + round) % 3; };
    auto moment_of = [](int thread, int round) { return 1000.0 * (thread + 2 * round); };
    std::vector<std::vector<float>> alone(threads * rounds);
    for (int thread = 0; thread < threads; ++thread)
        for (int round = 0; round < rounds; ++round)
            alone[thread * rounds + round] = rendering(set, track_of(thread, round), moment_of(thread, round));

    std::vector<std::vector<float>> together(threads * rounds);
    std::vector<std::thread> running;
    for (int thread = 0; thread < threads; ++thread)
        running.emplace_back([&, thread] {
            for (int round = 0; round < rounds; ++round) {
                tambelo_set_track(set, track_of(thread, round));
                together[thread * rounds + round] = rendering(set, track_of(thread, round), moment_of(thread, round));
            }
        });
    for (std::thread& each : running)
        each.join();
    tambelo_set_close(set);
    for (std::size_t i = 0; i < alone.size(); ++i) {
        EXPECT_FALSE(alone[i].empty()) << i;
        EXPECT_EQ(together[i], alone[i]) << "thread " << i / rounds << ", round " << i % rounds;
    }
}

}  // namespace
}  // namespace tambelo
