#include "library/midi/fluid_synth_setup.h"
#include "library/midi/soundfont_presets.h"
#include "library/voice_fallback.h"

#include "tests/support/temp_dir.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <string>
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

// The chunks of a SoundFont that lead to its preset headers, with one
// header for each of `presets` and the closing one; no samples.
std::vector<std::uint8_t> soundfont_headers(const std::vector<PresetNumber>& presets)
{
    auto chunk = [](const std::string& id, const std::string& data) {
        std::string out = id;
        for (int shift = 0; shift < 32; shift += 8)
            out.push_back(static_cast<char>((data.size() >> shift) & 0xFF));
        return out + data + (data.size() % 2 ? std::string(1, '\0') : std::string());
    };
    std::string headers;
    auto header = [&headers](int program, int bank) {
        std::string bytes(38, '\0');
        bytes[20] = static_cast<char>(program & 0xFF);
        bytes[22] = static_cast<char>(bank & 0xFF);
        bytes[23] = static_cast<char>(bank >> 8);
        headers += bytes;
    };
    for (const PresetNumber& preset : presets)
        header(preset.program, preset.bank);
    header(0, 0);  // "EOP"
    const std::string info = chunk("LIST", "INFO" + chunk("ifil", std::string(4, '\0')));
    const std::string samples = chunk("LIST", "sdta" + chunk("smpl", ""));
    const std::string preset_data = chunk("LIST", "pdta" + chunk("phdr", headers) + chunk("pbag", std::string(4, '\0')));
    const std::string file = chunk("RIFF", "sfbk" + info + samples + preset_data);
    return std::vector<std::uint8_t>(file.begin(), file.end());
}

TEST(SoundFontPresets, AreReadFromThePresetHeadersAndNothingFromWhatIsNoSoundFont)
{
    TempDir dir;
    const std::vector<PresetNumber> presets = {{8, 25}, {0, 0}, {128, 56}, {0, 0}};
    const auto bytes = soundfont_headers(presets);
    EXPECT_EQ(read_soundfont_presets(dir.write("gs.sf2", bytes)),
              (std::vector<PresetNumber>{{0, 0}, {8, 25}, {128, 56}}));
    // Cut inside the headers, or another RIFF form: no list at all.
    EXPECT_FALSE(read_soundfont_presets(dir.write("cut.sf2", {bytes.begin(), bytes.end() - 60})));
    auto wave = bytes;
    std::copy_n("WAVE", 4, wave.begin() + 8);
    EXPECT_FALSE(read_soundfont_presets(dir.write("wave.sf2", wave)));
    EXPECT_FALSE(read_soundfont_presets((dir.path() / "absent.sf2").string()));
}

TEST(SoundFontSearch, SupplementsAreStackedOnlyWhenNoSoundFontIsChosenAndNeverPlayAlone)
{
    TempDir dir;
    const std::string gm = dir.write("gm.sf2", soundfont_headers({{0, 0}}));
    const std::string gs = dir.write("gs.sf2", soundfont_headers({{1, 122}}));
    const SoundFontSearch search{{}, {dir.path().string()}, {gs, (dir.path() / "absent.sf2").string()}};

    EXPECT_EQ(soundfont_candidates({}, search), std::vector<std::string>{gm});
    EXPECT_EQ(soundfont_supplements({}, search), std::vector<std::string>{gs});
    EXPECT_EQ(soundfonts_to_play({}, search), (std::vector<std::string>{gm, gs}));
    EXPECT_EQ(soundfont_stack_text({gm, gs}), "\"" + gs + "\" over \"" + gm + "\"");
    // Named, a SoundFont plays alone, even the supplement itself.
    EXPECT_TRUE(soundfont_supplements(gm, search).empty());
    EXPECT_EQ(soundfonts_to_play(gm, search), std::vector<std::string>{gm});
    EXPECT_EQ(soundfonts_to_play(gs, search), std::vector<std::string>{gs});
}

// Two of the system's SoundFonts, the smaller first (they load sooner).
std::vector<std::string> two_system_soundfonts()
{
    std::vector<std::string> found = soundfont_candidates();
    for (const std::string& supplement : soundfont_supplements())
        found.push_back(supplement);
    std::sort(found.begin(), found.end(), [](const std::string& a, const std::string& b) {
        return std::filesystem::file_size(a) < std::filesystem::file_size(b);
    });
    found.resize(std::min<std::size_t>(found.size(), 2));
    return found;
}

// The bank and program a channel plays after a bank select and a program change.
PresetNumber played_preset(GsSynth& gs, PresetNumber asked)
{
    fluid_synth_cc(gs.synth.get(), 0, 0, asked.bank);
    fluid_synth_program_change(gs.synth.get(), 0, asked.program);
    fluid_preset_t* preset = fluid_synth_get_channel_preset(gs.synth.get(), 0);
    if (!preset)
        return {-1, -1};
    return {fluid_preset_get_banknum(preset), fluid_preset_get_num(preset)};
}

TEST(GsSynthSetup, StacksTheSupplementWhenNoSoundFontIsNamedAndPlaysItsPresetsAsWritten)
{
    const std::vector<std::string> soundfonts = two_system_soundfonts();
    if (soundfonts.size() < 2)
        GTEST_SKIP() << "fewer than two SoundFonts installed";
    const std::string& base = soundfonts[1];
    const std::string& supplement = soundfonts[0];
    const SoundFontSearch search{{base}, {}, {supplement}};
    // A preset of the supplement's that the base lacks.
    const auto base_presets = read_soundfont_presets(base);
    const auto supplement_presets = read_soundfont_presets(supplement);
    ASSERT_TRUE(base_presets && supplement_presets);
    std::optional<PresetNumber> only_supplement;
    for (const PresetNumber& preset : *supplement_presets)
        if (preset.bank < 128 &&
            std::find(base_presets->begin(), base_presets->end(), preset) == base_presets->end())
            only_supplement = preset;
    if (!only_supplement)
        GTEST_SKIP() << supplement << " has no melodic preset that " << base << " lacks";

    std::string why;
    std::optional<GsSynth> stacked = create_gs_synth({}, 22050, &why, search);
    ASSERT_TRUE(stacked) << why;
    EXPECT_EQ(stacked->soundfont, base);
    EXPECT_EQ(stacked->soundfonts, (std::vector<std::string>{base, supplement}));
    EXPECT_EQ(played_preset(*stacked, *only_supplement), *only_supplement);

    // A synth sharing the loaded SoundFonts stacks them alike.
    std::optional<GsSynth> sharing = create_gs_synth_sharing(*stacked, &why);
    ASSERT_TRUE(sharing) << why;
    EXPECT_EQ(sharing->soundfonts, stacked->soundfonts);
    EXPECT_EQ(fluid_synth_sfcount(sharing->synth.get()), 2);
    EXPECT_EQ(played_preset(*sharing, *only_supplement), *only_supplement);

    // Named, the base plays alone, and the voice falls back as the report says.
    std::optional<GsSynth> named = create_gs_synth(base, 22050, &why, search);
    ASSERT_TRUE(named) << why;
    EXPECT_EQ(named->soundfonts, std::vector<std::string>{base});
    EXPECT_EQ(fluid_synth_sfcount(named->synth.get()), 1);
    const std::vector<AskedVoice> asked = {{0, *only_supplement}};
    const std::vector<std::vector<PresetNumber>> base_alone = {*base_presets};
    const auto fallbacks = voice_fallbacks(asked, base_alone);
    ASSERT_EQ(fallbacks.size(), 1u);
    ASSERT_TRUE(fallbacks[0].played);
    EXPECT_EQ(played_preset(*named, *only_supplement), *fallbacks[0].played);
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
    const SoundFontSearch nowhere{{(empty.path() / "default-GM.sf2").string()}, {empty.path().string()}, {}};
    std::string why;
    EXPECT_FALSE(create_gs_synth("/nonexistent/x.sf2", default_sample_rate, &why, nowhere));
    EXPECT_NE(why.find("no SoundFont found: \"/nonexistent/x.sf2\" does not exist"), std::string::npos) << why;
    EXPECT_FALSE(create_gs_synth({}, default_sample_rate, &why, nowhere));
    EXPECT_NE(why.find("no SoundFont found (install"), std::string::npos) << why;
}

}  // namespace
}  // namespace tambelo
