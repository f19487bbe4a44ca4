#include "library/midi/fluid_synth_setup.h"

#include "tests/support/temp_dir.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <vector>

namespace tambelo {
namespace {

using testing::TempDir;

bool system_has_soundfont()
{
    return !soundfont_candidates().empty();
}

// The loudest sample of `ms` milliseconds of the synth's output.
float render_peak(GsSynth& gs, int ms)
{
    const int frames = static_cast<int>(gs.sample_rate * ms / 1000);
    std::vector<float> left(frames), right(frames);
    fluid_synth_write_float(gs.synth.get(), frames, left.data(), 0, 1, right.data(), 0, 1);
    float peak = 0;
    for (int i = 0; i < frames; ++i)
        peak = std::max({peak, std::fabs(left[i]), std::fabs(right[i])});
    return peak;
}

TEST(SoundFontSearch, ChosenFileComesFirstAndMissingOnesAreLeftOut)
{
    TempDir dir;
    const std::string chosen = dir.write("mine.sf2", {1, 2, 3});

    const std::vector<std::string> with_chosen = soundfont_candidates(chosen);
    ASSERT_FALSE(with_chosen.empty());
    EXPECT_EQ(with_chosen.front(), chosen);

    const std::vector<std::string> with_missing =
        soundfont_candidates((dir.path() / "absent.sf2").string());
    EXPECT_EQ(with_missing, soundfont_candidates());

    // The default link and the file it points at are one SoundFont.
    std::vector<std::filesystem::path> files;
    for (const std::string& path : soundfont_candidates())
        files.push_back(std::filesystem::canonical(path));
    std::sort(files.begin(), files.end());
    EXPECT_EQ(std::adjacent_find(files.begin(), files.end()), files.end());
}

TEST(GsSynthSetup, CorruptChosenSoundFontIsPassedOverForASystemOne)
{
    if (!system_has_soundfont())
        GTEST_SKIP() << "no SoundFont installed";
    TempDir dir;
    const std::string corrupt = dir.write("broken.sf2", {'R', 'I', 'F', 'F', 0, 0});

    // Quietly: FluidSynth's second reader (for DLS files) would report the
    // file with an assertion message of its own on stderr.
    std::string why;
    ::testing::internal::CaptureStderr();
    std::optional<GsSynth> gs = create_gs_synth(corrupt, default_sample_rate, &why);
    EXPECT_EQ(::testing::internal::GetCapturedStderr(), "");
    ASSERT_TRUE(gs) << why;
    EXPECT_NE(gs->soundfont, corrupt);
    EXPECT_EQ(gs->soundfont, soundfont_candidates().front());
}

TEST(GsSynthSetup, TakesTheGsResetAddressedToOurDeviceIdAndSounds)
{
    if (!system_has_soundfont())
        GTEST_SKIP() << "no SoundFont installed";
    std::string why;
    std::optional<GsSynth> gs = create_gs_synth({}, 22050, &why);
    ASSERT_TRUE(gs) << why;

    // FluidSynth takes System Exclusive data without the F0 and F7 bytes.
    const char gs_reset[] = {0x41, 0x20, 0x42, 0x12, 0x40, 0x00, 0x7F, 0x00, 0x41};
    int handled = 0;
    fluid_synth_sysex(gs->synth.get(), gs_reset, sizeof gs_reset, nullptr, nullptr, &handled, 0);
    EXPECT_TRUE(handled);

    // The same message for another device id is not ours.
    const char other_device[] = {0x41, 0x10, 0x42, 0x12, 0x40, 0x00, 0x7F, 0x00, 0x41};
    handled = 0;
    fluid_synth_sysex(gs->synth.get(), other_device, sizeof other_device, nullptr, nullptr,
                      &handled, 0);
    EXPECT_FALSE(handled);

    EXPECT_LT(render_peak(*gs, 50), 0.001f);
    fluid_synth_noteon(gs->synth.get(), 0, 60, 120);
    EXPECT_GT(render_peak(*gs, 200), 0.01f);
}

TEST(GsSynthSetup, NoSoundFontAnywhereIsReportedWithAReason)
{
    // A search that finds nothing, whatever this machine has installed.
    TempDir empty;
    const SoundFontSearch nowhere{{(empty.path() / "default-GM.sf2").string()}, {empty.path().string()}};
    std::string why;
    EXPECT_FALSE(create_gs_synth("/nonexistent/x.sf2", default_sample_rate, &why, nowhere));
    EXPECT_NE(why.find("no SoundFont found: \"/nonexistent/x.sf2\" does not exist"), std::string::npos) << why;
    EXPECT_FALSE(create_gs_synth({}, default_sample_rate, &why, nowhere));
    EXPECT_NE(why.find("no SoundFont found (install"), std::string::npos) << why;
}

}  // namespace
}  // namespace tambelo
