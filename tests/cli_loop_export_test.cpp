#include "tests/support/cli_runner.h"
#include "tests/support/music_set.h"
#include "tests/support/score_builder.h"
#include "tests/support/voice_set_builder.h"

#include <FLAC/metadata.h>
#include <gtest/gtest.h>
#include <nlohmann/json.hpp>
#include <sndfile.h>
#include <vorbis/vorbisfile.h>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <optional>

namespace tambelo {
namespace {

namespace fs = std::filesystem;
using Json = nlohmann::json;
using testing::CliRun;
using testing::TempDir;

constexpr int rate = 22050;

CliRun run_cli(const std::vector<std::string>& arguments)
{
    return testing::run_program(TAMBELO_CLI, arguments);
}

// The small SoundFont when it is there: it loads and renders faster.
std::vector<std::string> soundfont_arguments()
{
    const char* small = "/usr/share/sounds/sf2/TimGM6mb.sf2";
    return fs::exists(small) ? std::vector<std::string>{"--soundfont", small} : std::vector<std::string>{};
}

// Checks `text` against the published schema with a JSON Schema validator;
// returns the validator's complaint, or an empty string.
std::string schema_complaint(const std::string& text)
{
    TempDir folder;
    const std::string instance = folder.write("tracks.json", std::vector<std::uint8_t>(text.begin(), text.end()));
    const std::string check =
        "import json, sys, jsonschema\n"
        "schema = json.load(open(sys.argv[1]))\n"
        "jsonschema.Draft202012Validator.check_schema(schema)\n"
        "jsonschema.Draft202012Validator(schema).validate(json.load(open(sys.argv[2])))\n";
    const CliRun run = testing::run_program(
        "python3", {"-c", check, (fs::path(TAMBELO_SOURCE_DIR) / "docs" / "tracks.schema.json").string(), instance});
    return run.status == 0 ? "" : "status " + std::to_string(run.status) + ": " + run.err;
}

// A file's audio as interleaved stereo frames, and the loop its WAV
// instrument chunk or its Vorbis comments give.
struct AudioRead {
    std::vector<float> frames;
    std::optional<std::int64_t> loop_start, loop_length, loop_end;  // LOOPEND: exclusive
};

std::map<std::string, std::string> flac_comments(const std::string& path)
{
    std::map<std::string, std::string> comments;
    FLAC__StreamMetadata* tags = nullptr;
    if (!FLAC__metadata_get_tags(path.c_str(), &tags))
        return comments;
    for (FLAC__uint32 i = 0; i < tags->data.vorbis_comment.num_comments; ++i) {
        const std::string entry(reinterpret_cast<const char*>(tags->data.vorbis_comment.comments[i].entry),
                                tags->data.vorbis_comment.comments[i].length);
        comments[entry.substr(0, entry.find('='))] = entry.substr(entry.find('=') + 1);
    }
    FLAC__metadata_object_delete(tags);
    return comments;
}

std::map<std::string, std::string> ogg_comments(const std::string& path)
{
    std::map<std::string, std::string> comments;
    OggVorbis_File file;
    if (ov_fopen(path.c_str(), &file) != 0)
        return comments;
    vorbis_comment* block = ov_comment(&file, -1);
    for (int i = 0; block != nullptr && i < block->comments; ++i) {
        const std::string entry(block->user_comments[i], static_cast<std::size_t>(block->comment_lengths[i]));
        comments[entry.substr(0, entry.find('='))] = entry.substr(entry.find('=') + 1);
    }
    ov_clear(&file);
    return comments;
}

struct WavLoop {
    std::int64_t start = 0, last = 0;
};

std::uint32_t little_endian_32(const std::string& bytes, std::size_t at)
{
    std::uint32_t value = 0;
    for (std::size_t i = 4; i-- > 0;)
        value = value << 8 | static_cast<std::uint8_t>(bytes.at(at + i));
    return value;
}

// The one forward loop of a WAV file's `smpl` chunk, read from the file's
// bytes: 36 bytes of header (loop count at 28), then 24 per loop (type at 4,
// start at 8, end at 12).
std::optional<WavLoop> wav_smpl_loop(const std::string& path)
{
    std::ifstream file(path, std::ios::binary);
    const std::string bytes((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
    if (bytes.size() < 12 || bytes.compare(0, 4, "RIFF") != 0 || bytes.compare(8, 4, "WAVE") != 0) {
        ADD_FAILURE() << path << " is not a RIFF WAVE file";
        return std::nullopt;
    }
    for (std::size_t at = 12; at + 8 <= bytes.size();) {
        const std::uint32_t size = little_endian_32(bytes, at + 4);
        if (bytes.compare(at, 4, "smpl") == 0) {
            if (size < 36 + 24 || at + 8 + size > bytes.size()) {
                ADD_FAILURE() << "short smpl chunk in " << path;
                return std::nullopt;
            }
            const std::size_t body = at + 8;
            EXPECT_EQ(little_endian_32(bytes, body + 28), 1u) << "loop count";
            EXPECT_EQ(little_endian_32(bytes, body + 36 + 4), 0u) << "loop type: forward";
            return WavLoop{little_endian_32(bytes, body + 36 + 8), little_endian_32(bytes, body + 36 + 12)};
        }
        at += 8 + size + (size & 1);
    }
    return std::nullopt;
}

AudioRead read_audio(const std::string& path)
{
    AudioRead read;
    SF_INFO info{};
    SNDFILE* file = sf_open(path.c_str(), SFM_READ, &info);
    if (file == nullptr) {
        ADD_FAILURE() << "cannot open " << path;
        return read;
    }
    EXPECT_EQ(info.channels, 2);
    EXPECT_EQ(info.samplerate, rate);
    read.frames.resize(static_cast<std::size_t>(2 * info.frames));
    EXPECT_EQ(sf_readf_float(file, read.frames.data(), info.frames), info.frames);
    if ((info.format & SF_FORMAT_TYPEMASK) == SF_FORMAT_WAV) {
        // The chunk's own bytes: libsndfile shifts the loop end on writing and back on reading.
        const std::optional<WavLoop> loop = wav_smpl_loop(path);
        if (loop) {
            read.loop_start = loop->start;
            read.loop_length = loop->last + 1 - loop->start;  // the chunk's end is the loop's last frame
            read.loop_end = loop->last + 1;
        }
    } else {
        const auto comments = (info.format & SF_FORMAT_TYPEMASK) == SF_FORMAT_FLAC ? flac_comments(path)
                                                                                    : ogg_comments(path);
        auto number = [&](const char* name) -> std::optional<std::int64_t> {
            const auto found = comments.find(name);
            return found == comments.end() ? std::nullopt : std::optional<std::int64_t>(std::stoll(found->second));
        };
        read.loop_start = number("LOOPSTART");
        read.loop_length = number("LOOPLENGTH");
        read.loop_end = number("LOOPEND");
    }
    sf_close(file);
    return read;
}

// Largest sample-to-sample step of either channel between frames
// [from, to) and the frame before each.
float largest_step(const std::vector<float>& frames, std::size_t from, std::size_t to)
{
    float step = 0.0f;
    for (std::size_t i = std::max<std::size_t>(from, 1); i < to; ++i)
        for (std::size_t side = 0; side < 2; ++side)
            step = std::max(step, std::fabs(frames[2 * i + side] - frames[2 * (i - 1) + side]));
    return step;
}

// The bundled sample set, described by `list --json` and exported with
// seamless loops to every audio format, and once more as a straight
// rendering of two passes without a fade.
class SampleSetLoops : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        folder_ = new TempDir();
        const fs::path set = folder_->path() / "set";
        ASSERT_EQ(run_cli({"pack", (fs::path(TAMBELO_SOURCE_DIR) / "samples").string(), "-o", set.string()}).status,
                  0);
        score_ = new std::string((set / "amus.dat").string());
        const CliRun list = run_cli({"list", *score_, "--json", "--sample-rate", std::to_string(rate)});
        ASSERT_EQ(list.status, 0) << list.err;
        list_ = new Json(Json::parse(list.out));
        list_text_ = new std::string(list.out);
        summaries_ = new std::vector<std::string>();
        // FLAC and Ogg: a looping track, one whose channel loops differ, one that ends.
        export_set("wav", {"--loop-mode", "seamless"});
        export_set("flac", {"--loop-mode", "seamless", "1,3,6"});
        export_set("ogg", {"--loop-mode", "seamless", "1,3,6"});
        export_set("wav", {"--loop-mode", "fade", "--loops", "2", "--fade", "0"}, "straight");
    }
    static void TearDownTestSuite()
    {
        delete summaries_;
        delete list_text_;
        delete list_;
        delete score_;
        delete folder_;
    }

    static void export_set(const std::string& format, const std::vector<std::string>& mode,
                           const std::string& name = "")
    {
        std::vector<std::string> arguments = {"export", *score_, "--format", format, "--sample-rate",
                                              std::to_string(rate), "--jobs", "2", "--tracks-json", "-o",
                                              (folder_->path() / (name.empty() ? format : name)).string()};
        arguments.insert(arguments.end(), mode.begin(), mode.end());
        const auto soundfont = soundfont_arguments();
        arguments.insert(arguments.end(), soundfont.begin(), soundfont.end());
        const CliRun run = run_cli(arguments);
        ASSERT_EQ(run.status, 0) << run.out << run.err;
        summaries_->push_back(run.out);
    }

    // The file that the export into `folder` wrote for `track`, by its tracks.json.
    static std::string file_of(const std::string& folder, const Json& track)
    {
        std::ifstream text(folder_->path() / folder / "tracks.json");
        const Json exported = Json::parse(text);
        for (const auto& entry : exported["tracks"])
            if (entry["number"] == track["number"])
                return (folder_->path() / folder / entry["file"].get<std::string>()).string();
        ADD_FAILURE() << "track " << track["number"] << " not in tracks.json";
        return {};
    }

    static TempDir* folder_;
    static std::string* score_;
    static Json* list_;
    static std::string* list_text_;
    static std::vector<std::string>* summaries_;  // what each export printed
};

TempDir* SampleSetLoops::folder_ = nullptr;
std::string* SampleSetLoops::score_ = nullptr;
Json* SampleSetLoops::list_ = nullptr;
std::string* SampleSetLoops::list_text_ = nullptr;
std::vector<std::string>* SampleSetLoops::summaries_ = nullptr;

TEST_F(SampleSetLoops, LoopPointsReadBackAsListCountsThemToTheFrame)
{
    EXPECT_EQ(schema_complaint(*list_text_), "");
    ASSERT_EQ((*list_)["tracks"].size(), 6u);
    int looping = 0;
    for (const char* format : {"wav", "flac", "ogg"}) {
        for (const auto& track : (*list_)["tracks"]) {
            if (std::string(format) != "wav" && track["number"] != 1 && track["number"] != 3 && track["number"] != 6)
                continue;
            SCOPED_TRACE(std::string(format) + " track " + track["number"].dump());
            const AudioRead audio = read_audio(file_of(format, track));
            const auto frames = static_cast<std::int64_t>(audio.frames.size() / 2);
            const auto intro = track["intro_frames"].get<std::int64_t>();
            if (track["loops"] == true && track["channel_loops_differ"] == false) {
                ++looping;
                const auto loop = track["loop_frames"].get<std::int64_t>();
                EXPECT_EQ(audio.loop_start, intro);
                EXPECT_EQ(audio.loop_length, loop);
                EXPECT_EQ(audio.loop_end, intro + loop);
                EXPECT_EQ(frames, intro + loop);  // the intro and one pass
            } else {
                // A track that ends keeps its tail; one whose channel loops
                // differ plays its loops and fades.
                EXPECT_FALSE(audio.loop_start || audio.loop_length || audio.loop_end);
                EXPECT_GT(frames, intro);
            }
        }
    }
    EXPECT_EQ(looping, 4 + 2);  // the sample set's four strictly looping tracks, and track 1 twice
    for (const auto& summary : *summaries_)
        EXPECT_NE(summary.find("Track 3 (Canon in D (Pachelbel)): its channel loops differ in length"),
                  std::string::npos)
            << summary;
}

float step_between(const std::vector<float>& frames, std::size_t from, std::size_t to)
{
    return std::max(std::fabs(frames[2 * to] - frames[2 * from]), std::fabs(frames[2 * to + 1] - frames[2 * from + 1]));
}

// Played as a player plays a looping file (the intro, then the loop over
// and over), the seamless file sounds as the straight rendering does from
// the second pass on, but for the blends that close the loop, and its
// joints are no rougher than the music itself.
TEST_F(SampleSetLoops, SeamlessLoopsRepeatAsTheTrackPlaysOn)
{
    const std::size_t blend = 441;  // 20 ms
    for (const auto& track : (*list_)["tracks"]) {
        if (track["loops"] != true || track["channel_loops_differ"] == true)
            continue;
        SCOPED_TRACE("track " + track["number"].dump());
        const auto intro = track["intro_frames"].get<std::size_t>();
        const auto loop = track["loop_frames"].get<std::size_t>();
        const AudioRead seamless = read_audio(file_of("wav", track));
        const AudioRead straight = read_audio(file_of("straight", track));
        ASSERT_EQ(seamless.frames.size(), 2 * (intro + loop));
        ASSERT_GE(straight.frames.size(), 2 * (intro + 2 * loop - 1));
        const std::vector<float>& file = seamless.frames;

        // Loop end to loop start, and intro to loop start.
        const float inside = largest_step(file, intro + 1, intro + loop);
        EXPECT_LE(step_between(file, intro + loop - 1, intro), inside);
        EXPECT_LE(step_between(file, intro - 1, intro), inside);

        // Intro, loop, loop: its second loop against the straight second
        // pass, and both blends ending on the frame before that pass.
        const float tolerance = 2.0f / 32768.0f;  // 16-bit rounding
        float difference = 0.0f;
        for (std::size_t i = 0; i < 2 * (loop - blend); ++i)
            difference = std::max(difference, std::fabs(file[2 * intro + i] - straight.frames[2 * (intro + loop) + i]));
        EXPECT_LE(difference, tolerance);
        const std::size_t before_second = intro + loop - 1;
        for (const std::size_t last : {intro - 1, intro + loop - 1})
            for (std::size_t side = 0; side < 2; ++side)
                EXPECT_NEAR(file[2 * last + side], straight.frames[2 * before_second + side], tolerance);
        // The straight file's loop points are those of the seamless one.
        EXPECT_EQ(straight.loop_start, seamless.loop_start);
        EXPECT_EQ(straight.loop_length, seamless.loop_length);
    }
}

std::vector<std::uint8_t> looping_score()
{
    testing::ScoreBuilder score;
    score.channel(0, {score.add(testing::Phrase().note(1, 48).note(3, 24))});
    return score.build();
}

TEST(ListJson, ADamagedSetIsDescribedWithinTheSchema)
{
    TempDir folder;
    const auto voices = testing::VoiceSetBuilder().build();
    const auto paths =
        testing::write_music_set(folder, {looping_score(), {1, 2, 3}}, {voices, voices});
    std::ofstream(folder.path() / "amus.txt", std::ios::binary) << "0 Game \xff\r\n1 Theme\x07\r\n";

    const CliRun run = run_cli({"list", paths.score, "--json"});
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(schema_complaint(run.out), "");
    const Json list = Json::parse(run.out);
    EXPECT_EQ(list["sample_rate"], 44100);
    ASSERT_EQ(list["tracks"].size(), 2u);
    const Json& broken = list["tracks"][1];
    EXPECT_EQ(broken["compiles"], false);
    EXPECT_EQ(broken["failure"], "does not compile");
    EXPECT_EQ(broken["title_line"], "2 NO TITLE");
    // 16 ticks of lead-in, then a 72-tick loop from the start.
    const Json& theme = list["tracks"][0];
    EXPECT_EQ(theme["title_line"], "1 Theme\x07");
    EXPECT_EQ(theme["loops"], true);
    const double tick_ms = 1136.364583333333257542108185589313507080078125 / 64.0;
    EXPECT_NEAR(theme["intro_ms"].get<double>(), 15 * tick_ms, 0.001);
    EXPECT_EQ(theme["intro_frames"], std::llround(15 * tick_ms * 44.1));
    EXPECT_EQ(theme["loop_frames"], std::llround(87 * tick_ms * 44.1) - std::llround(15 * tick_ms * 44.1));
}

}  // namespace
}  // namespace tambelo
