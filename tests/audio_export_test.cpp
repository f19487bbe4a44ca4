#include "cli/export/audio_file.h"
#include "cli/export/track_export.h"
#include "library/player.h"
#include "library/render/render_synth.h"
#include "library/render/track_renderer.h"
#include "library/voice_set.h"
#include "tests/support/event_records.h"
#include "tests/support/temp_dir.h"

#include <gtest/gtest.h>
#include <sndfile.h>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <iterator>

namespace tambelo {
namespace {

using testing::StreamSet;

constexpr int rate = 22050;

// The track's audio, interleaved stereo at the synthesizer's rate: a looping
// track for `loops` loops and then `fade_seconds` of fade-out, a track that
// ends by itself to its end and the synthesizer's release tail.
std::vector<float> export_audio(FrozenClockSequencer& track, RenderSynth& synth, int loops, double fade_seconds)
{
    RenderSettings settings;
    settings.loops = loops;
    settings.fade_ms = fade_seconds * 1000.0;
    TrackRenderer renderer(synth, track, settings);
    constexpr std::size_t piece_frames = 4096;
    std::vector<float> out;
    std::vector<float> piece(2 * piece_frames);
    while (const std::size_t frames = renderer.render(piece.data(), piece_frames))
        out.insert(out.end(), piece.data(), piece.data() + 2 * frames);
    return out;
}

// The small SoundFont when it is there: the tests load it often.
std::string test_soundfont()
{
    const char* small = "/usr/share/sounds/sf2/TimGM6mb.sf2";
    return std::filesystem::exists(small) ? small : "";
}

class AudioExport : public ::testing::Test {
protected:
    void SetUp() override
    {
        std::string why;
        renderer_ = RenderSynth::create(test_soundfont(), rate, &why);
        if (!renderer_)
            GTEST_SKIP() << "no SoundFont: " << why;
    }

    static std::unique_ptr<FrozenClockSequencer> open_streams(const StreamSet& set)
    {
        return FrozenClockSequencer::open([&set](Player& player) {
            set.copy_into(player);
            reset_voice_set(player);
            player.tempo = 64;
            return true;
        });
    }

    // Peak level of frames [from_ms, to_ms).
    static float peak(const std::vector<float>& frames, double from_ms, double to_ms)
    {
        const auto from = static_cast<std::size_t>(from_ms * rate / 1000.0);
        const auto to = std::min(frames.size() / 2, static_cast<std::size_t>(to_ms * rate / 1000.0));
        float level = 0.0f;
        for (std::size_t i = 2 * from; i < 2 * to; ++i)
            level = std::max(level, std::fabs(frames[i]));
        return level;
    }

    static double duration_ms(const std::vector<float>& frames)
    {
        return static_cast<double>(frames.size() / 2) * 1000.0 / rate;
    }

    std::unique_ptr<RenderSynth> renderer_;
};

TEST_F(AudioExport, ATrackThatEndsSoundsWhereItsNotesPlayAndIsSilentAfterItsTail)
{
    StreamSet set;
    // Silence until tick 16 + 60, then two notes, then the end.
    set.channel(0).rest(60).note(60, 40, 8).note(67, 40, 8).no_loop().end();
    auto track = open_streams(set);
    const double tick_ms = track->tick_length_ms();
    const double end_ms = tick_time_ms(track->length().end_tick, tick_ms);

    const auto frames = export_audio(*track, *renderer_, 2, 8.0);
    const double first_note_ms = tick_time_ms(76, tick_ms);
    EXPECT_LT(peak(frames, 0, first_note_ms - 5), audio_silence_level);
    EXPECT_GT(peak(frames, first_note_ms + 20, first_note_ms + 300), 0.01f);
    EXPECT_GT(peak(frames, tick_time_ms(124, tick_ms) + 20, tick_time_ms(124, tick_ms) + 300), 0.01f);
    // Everything is cut at the end; what follows dies away within seconds
    // and the file ends in silence.
    EXPECT_GE(duration_ms(frames), end_ms + 100 - 1);
    EXPECT_LT(duration_ms(frames), end_ms + 5000);
    EXPECT_LT(peak(frames, duration_ms(frames) - 90, duration_ms(frames)), audio_silence_level);
}

TEST_F(AudioExport, ALoopingTrackLastsIntroLoopsAndFade)
{
    StreamSet set;
    set.channel(0).note(48, 30, 10).loop_here().note(55, 50, 14).note(60, 50, 14).end();
    auto track = open_streams(set);
    const double tick_ms = track->tick_length_ms();
    ASSERT_EQ(track->length(), (TrackLength{TrackLength::Kind::loops, 0, 56, 128}));
    const double intro_ms = tick_time_ms(56, tick_ms);
    const double loop_ms = 128 * tick_ms;

    const auto frames = export_audio(*track, *renderer_, 3, 2.5);
    EXPECT_NEAR(duration_ms(frames), intro_ms + 3 * loop_ms + 2500.0, 10.0);
    // Full level into the fade, nothing at its end.
    const double fade_start = intro_ms + 3 * loop_ms;
    EXPECT_GT(peak(frames, fade_start - 1000, fade_start), 0.01f);
    EXPECT_LT(peak(frames, duration_ms(frames) - 5, duration_ms(frames)), 0.005f);
    EXPECT_LT(peak(frames, fade_start + 1250, fade_start + 2500),
              peak(frames, fade_start - 1250, fade_start) * 0.6f);
}

TEST_F(AudioExport, NothingOfTheTrackBeforeCarriesOverIntoTheNext)
{
    StreamSet quiet;
    quiet.channel(0).rest(40).note(72, 20, 4).no_loop().end();
    StreamSet loud;
    loud.channel(0).note(48, 200, 0).no_loop().end();
    loud.channel(1).note(55, 200, 0).end();

    const auto first = export_audio(*open_streams(quiet), *renderer_, 1, 0.0);
    export_audio(*open_streams(loud), *renderer_, 1, 0.0);
    const auto again = export_audio(*open_streams(quiet), *renderer_, 1, 0.0);
    EXPECT_EQ(first, again);
}

TEST_F(AudioExport, EachFormatIsWrittenWithItsTagsAndReadsBack)
{
    testing::TempDir folder;
    std::vector<float> frames(2 * rate / 2);
    for (std::size_t i = 0; i < frames.size(); ++i)
        frames[i] = 0.25f * static_cast<float>(std::sin(static_cast<double>(i / 2) * 0.05));
    const AudioTags tags{"Opening", "A Game", 7, {}, {}};
    for (auto type : {AudioFileType::wav, AudioFileType::flac, AudioFileType::ogg}) {
        const std::string path = (folder.path() / ("out" + std::to_string(static_cast<int>(type)))).string();
        ASSERT_EQ(write_audio_file(path, type, rate, frames, tags), "");
        EXPECT_TRUE(testing::partial_files_in(folder.path()).empty());
        SF_INFO info{};
        SNDFILE* file = sf_open(path.c_str(), SFM_READ, &info);
        ASSERT_NE(file, nullptr);
        EXPECT_EQ(info.samplerate, rate);
        EXPECT_EQ(info.channels, 2);
        EXPECT_EQ(info.frames, static_cast<sf_count_t>(frames.size() / 2));
        const char* title = sf_get_string(file, SF_STR_TITLE);
        const char* album = sf_get_string(file, SF_STR_ALBUM);
        EXPECT_STREQ(title ? title : "", "Opening");
        EXPECT_STREQ(album ? album : "", "A Game");
        sf_close(file);
    }
    // The same frames make the same bytes (Ogg streams carry a serial number).
    auto bytes_of = [](const std::filesystem::path& path) {
        std::ifstream file(path, std::ios::binary);
        return std::vector<char>(std::istreambuf_iterator<char>(file), {});
    };
    const auto again = folder.path() / "again";
    ASSERT_EQ(write_audio_file(again.string(), AudioFileType::ogg, rate, frames, tags), "");
    EXPECT_EQ(bytes_of(again), bytes_of(folder.path() / ("out" + std::to_string(static_cast<int>(AudioFileType::ogg)))));
}

TEST_F(AudioExport, AFailedWriteLeavesNoFileBehind)
{
    {
        testing::TempDir folder;
        const std::string path = (folder.path() / "out.flac").string();
        auto writer = AudioFileWriter::open(path, AudioFileType::flac, rate, {});
        ASSERT_TRUE(writer);
        const std::vector<float> frames(256, 0.1f);
        EXPECT_TRUE(writer->write(frames.data(), 128));
        writer.reset();  // abandoned before finish
        EXPECT_TRUE(std::filesystem::is_empty(folder.path()));
    }

    testing::TempDir folder;
    const std::string path = (folder.path() / "missing" / "out.wav").string();
    const std::string error = write_audio_file(path, AudioFileType::wav, rate, std::vector<float>(64), {});
    EXPECT_NE(error, "");
    EXPECT_FALSE(std::filesystem::exists(path));
    EXPECT_TRUE(testing::partial_files_in(folder.path()).empty());
}

}  // namespace
}  // namespace tambelo
