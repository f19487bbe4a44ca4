// Audio exports through the command-line tool: the same command gives the
// same bytes, a SoundFont that cannot be used stops it, and an interrupted
// export, or one that meets a file-size limit, leaves no unfinished files.
// They need a SoundFont installed.
#include "library/midi/fluid_synth_setup.h"
#include "tests/support/cli_runner.h"
#include "tests/support/music_set.h"
#include "tests/support/score_builder.h"
#include "tests/support/voice_set_builder.h"

#include <gtest/gtest.h>
#include <sndfile.h>

#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <thread>
#include <utility>

extern char** environ;

namespace tambelo {
namespace {

using testing::Phrase;
using testing::ScoreBuilder;
using testing::TempDir;

std::map<std::string, std::string> files_in(const std::filesystem::path& folder)
{
    std::map<std::string, std::string> files;
    for (const auto& entry : std::filesystem::directory_iterator(folder)) {
        std::ifstream file(entry.path(), std::ios::binary);
        files[entry.path().filename().string()] = std::string(std::istreambuf_iterator<char>(file), {});
    }
    return files;
}

class CliAudioExport : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (soundfont_candidates().empty())
            GTEST_SKIP() << "no SoundFont installed";
        // Four looping tracks with chords, so that effects and voices are busy.
        std::vector<std::vector<std::uint8_t>> scores;
        for (int track = 0; track < 4; ++track) {
            ScoreBuilder score;
            score.channel(0, {score.add(Phrase().note(1 + track, 24).note(5 + track, 12).note(3, 36))});
            score.channel(1, {score.add(Phrase().note(8 + track, 48))});
            scores.push_back(score.build());
        }
        const auto voices = testing::VoiceSetBuilder().build();
        set_ = testing::write_music_set(folder_, scores, {voices, voices, voices, voices}).score;
    }

    testing::CliRun run_export(const std::vector<std::string>& extra)
    {
        std::vector<std::string> arguments = {"export", set_};
        arguments.insert(arguments.end(), extra.begin(), extra.end());
        return testing::run_program(TAMBELO_CLI, arguments);
    }

    TempDir folder_;
    std::string set_;
};

TEST_F(CliAudioExport, TheSameExportOnSeveralJobsGivesTheSameBytes)
{
    for (const std::string format : {"wav", "ogg"}) {
        std::map<std::string, std::string> first;
        for (const std::string run : {"a", "b"}) {
            const auto out = folder_.path() / (format + run);
            const auto result =
                run_export({"--format", format, "--jobs", "2", "--loops", "1", "--fade", "0.5", "-o", out.string()});
            ASSERT_EQ(result.status, 0) << result.err;
            if (first.empty())
                first = files_in(out);
            else
                EXPECT_TRUE(files_in(out) == first) << format << " files differ between two exports";
        }
        EXPECT_EQ(first.size(), 5u);  // the four tracks and the playlist
    }
}

TEST_F(CliAudioExport, ASoundFontThatCannotBeLoadedFailsTheExport)
{
    const auto out = folder_.path() / "out";
    // The last is a SoundFont cut short after its header: the synthesizer's
    // readers fail on it, one of them with an assertion message of its own
    // that must not show.
    for (const std::string& contents : {std::string("not a SoundFont at all"), std::string(),
                                        std::string("RIFF\x10\0\0\0sfbkLIST\x04\0\0\0INFO", 24)}) {
        const std::string soundfont = (folder_.path() / "chosen.sf2").string();
        std::ofstream(soundfont, std::ios::binary | std::ios::trunc) << contents;
        const auto result = run_export({"--format", "wav", "--soundfont", soundfont, "-o", out.string()});
        EXPECT_EQ(result.status, 1);
        EXPECT_EQ(result.err, "tambelo-cli: " + soundfont + " is not a SoundFont that can be loaded\n");
        EXPECT_FALSE(std::filesystem::exists(out) && !std::filesystem::is_empty(out));
    }
}

// The signals Ctrl-C, a termination request and a hang-up send, as a mask
// of bits as /proc/PID/task/*/status shows them (bit N-1 for signal N).
constexpr unsigned long stop_signal_bits = (1ul << (SIGINT - 1)) | (1ul << (SIGTERM - 1)) | (1ul << (SIGHUP - 1));

// How many of `pid`'s threads do not block all three stop signals, and how
// many threads were looked at.
std::pair<int, int> threads_taking_stop_signals(pid_t pid)
{
    int taking = 0;
    int threads = 0;
    std::error_code error;
    for (std::filesystem::directory_iterator it("/proc/" + std::to_string(pid) + "/task", error), end;
         !error && it != end; it.increment(error)) {
        std::ifstream status(it->path() / "status");
        for (std::string line; std::getline(status, line);)
            if (line.rfind("SigBlk:", 0) == 0) {
                ++threads;
                if ((std::stoul(line.substr(7), nullptr, 16) & stop_signal_bits) != stop_signal_bits)
                    ++taking;
            }
    }
    return {taking, threads};
}

TEST_F(CliAudioExport, StopSignalsRemoveTheUnfinishedFiles)
{
    // With --soundfont the SoundFont is checked first, which starts the
    // synthesizer's worker threads: they too must leave the signals to the
    // export, or one of them ends the program on the spot.
    const std::vector<std::string> soundfonts = soundfont_candidates();
    const std::string soundfont = *std::min_element(  // the smallest loads soonest
        soundfonts.begin(), soundfonts.end(), [](const std::string& a, const std::string& b) {
            return std::filesystem::file_size(a) < std::filesystem::file_size(b);
        });
    for (const int signal : {SIGINT, SIGTERM, SIGHUP}) {
        const auto out = folder_.path() / ("out" + std::to_string(signal));
        std::filesystem::create_directories(out);
        const std::vector<std::string> words = {TAMBELO_CLI, "export", set_, "--format", "flac", "--jobs", "2",
                                                "--loops", "100", "--fade", "600", "--soundfont", soundfont,
                                                "-o", out.string()};
        std::vector<char*> argv;
        for (const auto& word : words)
            argv.push_back(const_cast<char*>(word.c_str()));
        argv.push_back(nullptr);
        // Not ignored, whatever the test itself was started with (nohup).
        posix_spawnattr_t attributes;
        posix_spawnattr_init(&attributes);
        sigset_t defaults;
        sigemptyset(&defaults);
        for (const int stop : {SIGINT, SIGTERM, SIGHUP})
            sigaddset(&defaults, stop);
        posix_spawnattr_setsigdefault(&attributes, &defaults);
        posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGDEF);
        pid_t pid = 0;
        ASSERT_EQ(posix_spawn(&pid, TAMBELO_CLI, nullptr, &attributes, argv.data(), environ), 0);
        posix_spawnattr_destroy(&attributes);

        // Interrupt once the files are being written.
        const auto give_up = std::chrono::steady_clock::now() + std::chrono::seconds(60);
        while (testing::partial_files_in(out).size() < 2 && std::chrono::steady_clock::now() < give_up)
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        EXPECT_EQ(testing::partial_files_in(out).size(), 2u);
        const auto [taking, threads] = threads_taking_stop_signals(pid);
        EXPECT_EQ(taking, 0) << "of " << threads << " threads";
        EXPECT_GE(threads, 3);  // the export's own and its two jobs at least
        kill(pid, signal);
        int status = 0;
        waitpid(pid, &status, 0);

        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 130) << "signal " << signal << ": " << status;
        EXPECT_TRUE(std::filesystem::is_empty(out)) << "signal " << signal;
    }
}

TEST_F(CliAudioExport, AFileSizeLimitSkipsTheTracksAsAFullDiskDoes)
{
    // A limit far below one track's audio: every write past it fails.
    // Unhandled, the limit's signal ended the program part-way, silently.
    const auto out = folder_.path() / "out";
    const auto result = testing::run_program(
        "/bin/sh", {"-c", "ulimit -f 64 && exec \"$0\" \"$@\"", TAMBELO_CLI, "export", set_, "--format", "wav",
                    "--jobs", "2", "--loops", "1", "--fade", "0.5", "-o", out.string()});
    EXPECT_EQ(result.status, 1) << result.err;
    EXPECT_NE(result.out.find("Wrote 0 of 4 tracks"), std::string::npos) << result.out;
    for (int track = 1; track <= 4; ++track)
        EXPECT_NE(result.out.find("Skipped track " + std::to_string(track)), std::string::npos) << result.out;
    EXPECT_NE(result.out.find("File too large"), std::string::npos) << result.out;
    EXPECT_TRUE(std::filesystem::is_empty(out));
}

// 16-bit samples of a WAV file, interleaved.
std::vector<short> wav_samples(const std::filesystem::path& path)
{
    SF_INFO info{};
    SNDFILE* file = sf_open(path.string().c_str(), SFM_READ, &info);
    if (file == nullptr) {
        ADD_FAILURE() << "cannot open " << path;
        return {};
    }
    std::vector<short> samples(static_cast<std::size_t>(info.frames * info.channels));
    EXPECT_EQ(sf_read_short(file, samples.data(), static_cast<sf_count_t>(samples.size())),
              static_cast<sf_count_t>(samples.size()));
    sf_close(file);
    return samples;
}

bool any_sound(const std::vector<short>& samples)
{
    return std::any_of(samples.begin(), samples.end(), [](short sample) { return sample != 0; });
}

// How far, in 16-bit steps, the sum of a track's stems may lie from its mix:
// 32 steps, -60 dBFS (measured: 21 for track 1, 2 for track 3). Each file
// rounds on its own, and the synthesizer's voices and shared effects do not
// add up exactly; a stem left out or shifted in time misses by far more.
constexpr long stem_sum_bound = 32;

// Muting and stems, on a set whose drums play on two channels: both go to
// MIDI channel 9, so only the score channel tells their notes apart.
class CliChannelExport : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (soundfont_candidates().empty())
            GTEST_SKIP() << "no SoundFont installed";
        testing::VoiceSetBuilder voices;
        voices.numbered(1, {0, 0}).numbered(2, {0, 48}).numbered(3, {255, 0}).numbered(4, {254, 0});
        for (int key = 0; key < 128; ++key)
            voices.drum(0, key, 36).drum(1, key, 42);
        const auto voice_set = voices.build();
        // Track 1 loops; track 2 is track 1 with channel 2's notes made
        // rests; track 3 ends by itself, with its release tail.
        std::vector<std::vector<std::uint8_t>> scores;
        for (const bool drums_on_2 : {true, false}) {
            ScoreBuilder score;
            score.channel(0, {score.add(Phrase().voice(1).note(1, 24).note(5, 24).note(8, 48))});
            score.channel(1, {score.add(Phrase().voice(2).note(1, 96))});
            Phrase drums = Phrase().voice(3);
            for (int beat = 0; beat < 4; ++beat)
                drums_on_2 ? drums.note(1, 12).rest(12) : drums.rest(12).rest(12);
            score.channel(2, {score.add(drums)});
            score.channel(6, {score.add(Phrase().voice(4).rest(12).note(1, 12).rest(12).note(1, 60))});
            score.channel(7, {score.add(Phrase().voice(1).rest(96))});  // no notes: no stem
            scores.push_back(score.build());
        }
        ScoreBuilder ending;
        ending.channel(0, {ending.add(Phrase().no_loop().voice(1).note(1, 24).note(5, 48))});
        ending.channel(1, {ending.add(Phrase().voice(2).note(8, 72))});
        scores.push_back(ending.build());
        set_ = testing::write_music_set(folder_, scores, {voice_set, voice_set, voice_set}).score;
    }

    // The samples of each file the export wrote, by name.
    std::map<std::string, std::vector<short>> exported(const std::string& name, const std::vector<std::string>& extra)
    {
        const auto out = folder_.path() / name;
        std::vector<std::string> arguments = {"export", set_, "--format", "wav", "--loops", "1", "--fade", "1",
                                              "-o", out.string()};
        arguments.insert(arguments.end(), extra.begin(), extra.end());
        const auto result = testing::run_program(TAMBELO_CLI, arguments);
        EXPECT_EQ(result.status, 0) << result.err;
        std::map<std::string, std::vector<short>> files;
        for (const auto& entry : std::filesystem::directory_iterator(out))
            files[entry.path().filename().string()] = wav_samples(entry.path());
        return files;
    }

    TempDir folder_;
    std::string set_;
};

TEST_F(CliChannelExport, AMutedChannelIsSilentAndTheOthersAreUnchanged)
{
    // Track 1 with channel 2 muted is, sample for sample, track 2, whose
    // channel 2 rests where track 1's plays: its voice and settings still
    // apply, and the other drum channel on MIDI channel 9 still sounds.
    const auto muted = exported("muted", {"1", "--mute", "2"});
    const auto silent = exported("silent", {"2"});
    ASSERT_EQ(muted.size(), 1u);
    ASSERT_EQ(silent.size(), 1u);
    EXPECT_TRUE(muted.begin()->second == silent.begin()->second);
    const auto full = exported("full", {"1"});
    EXPECT_FALSE(full.begin()->second == muted.begin()->second);
    EXPECT_EQ(full.begin()->second.size(), muted.begin()->second.size());

    // Solo: only channel 6's drums; muting every channel but 6 is the same.
    const auto solo = exported("solo", {"1", "--solo", "6"});
    const auto all_but = exported("all-but", {"1", "--mute", "0,1,2,3,4,5,7,8"});
    EXPECT_TRUE(any_sound(solo.begin()->second));
    EXPECT_TRUE(solo.begin()->second == all_but.begin()->second);
}

TEST_F(CliChannelExport, StemsAreAsLongAsTheMixAndAddUpToIt)
{
    const auto mixes = exported("mix", {"1,3"});
    const auto stems = exported("stems", {"1,3", "--stems"});
    // Channel 7 has only rests: no stem.
    std::vector<std::string> names;
    for (const auto& [name, samples] : stems)
        names.push_back(name);
    EXPECT_EQ(names, (std::vector<std::string>{"01 Track 1 - ch0.wav", "01 Track 1 - ch1.wav", "01 Track 1 - ch2.wav",
                                               "01 Track 1 - ch6.wav", "03 Track 3 - ch0.wav", "03 Track 3 - ch1.wav"}));
    for (const auto& [mix_name, mix] : mixes) {
        const std::string prefix = mix_name.substr(0, mix_name.size() - 4) + " - ch";
        std::vector<long> sum(mix.size(), 0);
        int count = 0;
        for (const auto& [name, stem] : stems) {
            if (name.rfind(prefix, 0) != 0)
                continue;
            ++count;
            ASSERT_EQ(stem.size(), mix.size()) << name << " is not as long as " << mix_name;
            EXPECT_TRUE(any_sound(stem)) << name;
            for (std::size_t i = 0; i < stem.size(); ++i)
                sum[i] += stem[i];
        }
        EXPECT_GE(count, 2) << mix_name;
        long worst = 0;
        for (std::size_t i = 0; i < mix.size(); ++i)
            worst = std::max(worst, std::labs(sum[i] - mix[i]));
        EXPECT_LE(worst, stem_sum_bound) << mix_name;
        RecordProperty(mix_name + " worst", static_cast<int>(worst));
    }
}

}  // namespace
}  // namespace tambelo
