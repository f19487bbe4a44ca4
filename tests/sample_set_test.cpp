#include "cli/authoring/score_checks.h"
#include "cli/authoring/score_parser.h"
#include "cli/authoring/set_packer.h"
#include "library/player.h"
#include "library/score_compiler.h"
#include "library/voice_set.h"
#include "tests/support/manual_player.h"
#include "tests/support/temp_dir.h"

#include <gtest/gtest.h>
#include <toml++/toml.h>

#include <fstream>
#include <numeric>
#include <sstream>

namespace tambelo {
namespace {

namespace fs = std::filesystem;

const fs::path samples = fs::path(TAMBELO_SOURCE_DIR) / "samples";

// What a compiled event stream holds, read back record by record.
struct StreamSummary {
    bool well_formed = false;  // records end exactly at one end record
    bool has_notes = false;
    bool no_loop = false;
    long ticks = 0;            // all waits
    long loop_ticks = 0;       // waits from the loop position on
    std::int32_t loop_position = 0;
};

StreamSummary summarize(const EventStream& stream)
{
    StreamSummary summary;
    const std::uint8_t* bytes = stream.bytes;
    std::vector<std::int32_t> record_starts;
    std::vector<long> ticks_before;
    std::int32_t at = 0;
    while (at < stream.position) {
        record_starts.push_back(at);
        ticks_before.push_back(summary.ticks);
        const std::uint8_t code = bytes[at];
        if (code <= 128) {
            summary.ticks += bytes[at + 1] | (bytes[at + 2] << 8);
            summary.has_notes = summary.has_notes || code < 128;
            at += 3;
        } else if (code == 236) {
            summary.no_loop = true;
            at += 1;
        } else if (code == 255) {
            summary.loop_position = bytes[at + 1] | (bytes[at + 2] << 8) | (bytes[at + 3] << 16);
            summary.well_formed = at + 4 == stream.position;
            break;
        } else {
            at += 2;
        }
    }
    const auto loop_record =
        std::find(record_starts.begin(), record_starts.end(), summary.loop_position);
    if (loop_record == record_starts.end())
        summary.well_formed = false;
    else
        summary.loop_ticks = summary.ticks - ticks_before[loop_record - record_starts.begin()];
    return summary;
}

std::string read_text(const fs::path& path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

class SampleSetTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_EQ(write_packed_set(pack_set(samples), dir.path()), "");
        const std::string dat = (dir.path() / "amus.dat").string();
        const std::string mda = (dir.path() / "amus.mda").string();
        open_file(player.player(), dat.c_str(), mda.c_str());
        take_track_paths(player.player());
        const toml::table set = toml::parse_file((samples / "set.toml").string());
        for (const auto& track : *set["track"].as_array())
            scores.push_back(track.as_table()->get_as<std::string>("score")->get());
    }

    testing::TempDir dir;
    testing::ManualPlayer player;
    std::vector<std::string> scores;  // score file of each track
};

TEST_F(SampleSetTest, EveryTrackCompilesToTheStreamsItsSourceDescribes)
{
    ASSERT_GE(scores.size(), 6u);
    for (std::size_t i = 0; i < scores.size(); ++i) {
        SCOPED_TRACE(scores[i]);
        const auto track = static_cast<std::int32_t>(i + 1);
        ASSERT_TRUE(compile_score(player.player(), track));
        const auto source = parse_score(read_text(samples / scores[i]), scores[i]);
        const auto lengths = event_stream_lengths(source);
        long longest_loop = 0;
        std::vector<long> loops;
        for (int k = 0; k < channel_count; ++k) {
            const EventStream& stream = player.player().streams[k];
            EXPECT_EQ(stream.position, lengths[static_cast<std::size_t>(k)]) << "channel " << k;
            const StreamSummary summary = summarize(stream);
            EXPECT_TRUE(summary.well_formed) << "channel " << k;
            if (summary.has_notes) {
                loops.push_back(summary.loop_ticks);
                longest_loop = std::max(longest_loop, summary.loop_ticks);
            }
        }
        // The channels' loops stay in step: each repeats a whole number of
        // times while the longest goes round once.
        ASSERT_FALSE(loops.empty());
        for (const long loop : loops) {
            ASSERT_GT(loop, 0);
            EXPECT_EQ(longest_loop % loop, 0) << "a loop of " << loop << " ticks against " << longest_loop;
        }
    }
}

TEST_F(SampleSetTest, TheSetShowsOffWhatTheFormatCanDo)
{
    bool ends_by_itself = false, has_intro = false, has_drums = false;
    for (std::size_t i = 0; i < scores.size(); ++i) {
        const auto track = static_cast<std::int32_t>(i + 1);
        ASSERT_TRUE(compile_score(player.player(), track));
        load_voice_set(player.player(), track);
        int channels_with_notes = 0;
        for (const auto& stream : player.player().streams) {
            const StreamSummary summary = summarize(stream);
            channels_with_notes += summary.has_notes;
            ends_by_itself = ends_by_itself || summary.no_loop;
            has_intro = has_intro || (summary.has_notes && summary.loop_position > 0);
            for (std::int32_t at = 0; at + 1 < stream.position; ++at)
                if (stream.bytes[at] == 245 &&
                    player.player().voice_table[stream.bytes[at + 1]].bank >= 128)
                    has_drums = true;
        }
        EXPECT_GE(channels_with_notes, 2) << scores[i];
    }
    EXPECT_TRUE(ends_by_itself);
    EXPECT_TRUE(has_intro);
    EXPECT_TRUE(has_drums);
    // The drum kit plays its own note numbers for the notes the scores use.
    load_voice_set(player.player(), 1);
    EXPECT_EQ(player.player().drum_map[36], 36);
    EXPECT_EQ(player.player().drum_map[42], 42);
    EXPECT_EQ(read_text(dir.path() / "amus.txt").substr(0, 22), "0 Tambelo Sample Set\r\n");
}

}  // namespace
}  // namespace tambelo
