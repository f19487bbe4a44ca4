// tambelo-cli import, run as a user runs it: files this player exported
// read back to the same music, files made by an independent tool (mido)
// imported with a report of what the score left out, and bad files refused.
#include "tests/support/cli_runner.h"
#include "tests/support/temp_dir.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>

namespace tambelo {
namespace {

namespace fs = std::filesystem;
using testing::CliRun;
using testing::TempDir;

CliRun run_cli(const std::vector<std::string>& arguments) { return testing::run_program(TAMBELO_CLI, arguments); }

void write_text(const fs::path& path, const std::string& text)
{
    fs::create_directories(path.parent_path());
    std::ofstream(path, std::ios::binary) << text;
}

std::string read_text(const fs::path& path)
{
    std::ifstream in(path, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

// Packs `source` into `out`, failing the test when pack refuses it.
void pack(const fs::path& source, const fs::path& out)
{
    const CliRun run = run_cli({"pack", source.string(), "-o", out.string()});
    ASSERT_EQ(run.status, 0) << run.err;
}

std::string trace(const fs::path& set, int track)
{
    const CliRun run = run_cli({"trace", (set / "amus.dat").string(), std::to_string(track)});
    EXPECT_EQ(run.status, 0) << run.err;
    return run.out;
}

// The lines of the import's report (after its first two lines).
std::vector<std::string> import_report(const CliRun& run)
{
    std::vector<std::string> lines = run.out_lines();
    return lines.size() > 2 ? std::vector<std::string>(lines.begin() + 2, lines.end()) : std::vector<std::string>{};
}

bool mentions(const std::vector<std::string>& lines, const std::string& words)
{
    return std::ranges::any_of(lines, [&](const std::string& line) { return line.find(words) != std::string::npos; });
}

// Every track of the set: exported to a MIDI file, imported, packed, it
// plays message for message as the original, and the import reports nothing.
void expect_round_trip(const fs::path& set, int tracks)
{
    TempDir folder;
    const CliRun exported = run_cli({"export", "--format", "mid", "-o", (folder.path() / "mid").string(),
                                     (set / "amus.dat").string()});
    ASSERT_EQ(exported.status, 0) << exported.err;
    std::vector<fs::path> files;
    for (const auto& entry : fs::directory_iterator(folder.path() / "mid"))
        files.push_back(entry.path());
    std::ranges::sort(files);
    ASSERT_EQ(static_cast<int>(files.size()), tracks);
    for (int track = 1; track <= tracks; ++track) {
        SCOPED_TRACE(files[static_cast<std::size_t>(track - 1)].filename().string());
        const fs::path source = folder.path() / ("source" + std::to_string(track));
        const CliRun imported = run_cli({"import", files[static_cast<std::size_t>(track - 1)].string(), "-o", source.string()});
        ASSERT_EQ(imported.status, 0) << imported.err;
        EXPECT_EQ(import_report(imported), std::vector<std::string>{}) << imported.out;
        const fs::path repacked = folder.path() / ("set" + std::to_string(track));
        pack(source, repacked);
        EXPECT_EQ(trace(repacked, 1), trace(set, track)) << read_text(source / "song.mml");
    }
}

TEST(ImportCommand, EverySampleTrackExportedAndImportedPlaysAsBefore)
{
    TempDir folder;
    pack(fs::path(TAMBELO_SOURCE_DIR) / "samples", folder.path());
    expect_round_trip(folder.path(), 6);
}

// Scores at the edges of what the player sends: the lowest and highest
// notes, notes longer than 255 ticks, ties, gates and releases, fine tune
// and pan on drum voices, drums on two channels and on a start voice, a tempo
// beyond what tempo base 64 reaches, a track that ends by itself. Every
// channel of the first track loops in 2880 ticks, so its file marks the loop.
TEST(ImportCommand, OddScoresExportedAndImportedPlayAsBefore)
{
    TempDir folder;
    const fs::path source = folder.path() / "odd";
    write_text(source / "set.toml", "title = \"Odd\"\n"
                                    "[[track]]\ntitle = \"Edges\"\nscore = \"edges.mml\"\nvoices = \"v.toml\"\n"
                                    "[[track]]\ntitle = \"Fast\"\nscore = \"fast.mml\"\nvoices = \"fast.toml\"\n");
    write_text(source / "v.toml", "[start]\n3 = { kit = 0, volume = 90 }\n"
                                  "[voice.1]\nbank = 3\nprogram = 5\n[voice.2]\nkit = 0\nvolume = 70\n"
                                  "[voice.3]\nprogram = 9\nvolume = 30\nkey_offset = -12\n"
                                  "[drums.0]\nc2 = 36\nd2 = 38\n\"c+2\" = 42\ne2 = 12\n");
    write_text(source / "edges.mml",
               "phrase setup { t200 @1 v127 p0 k-63 q1 }\n"
               "phrase a { v127 o0 c, c c+ o9 g l%300 c& d Q200 e%400 q8 f%7 f%1 r%3 v1 g c8^%500 r%853 }\n"
               "channel 0: setup | a\n"
               "phrase d-in { @2 v60 p127 }\n"
               "phrase d { o2 c8 d8 c+16 d16 k+20 e4 }\n"
               "channel 6: d-in | d*24\n"
               "channel 7: | d-in d*24\n"
               "phrase mel { @3 o4 v+3 c4 r4 p20 e4 k-1 }\n"
               "channel 8: mel*20\n"
               "phrase kit { o2 c4 d8 p10 c+8 }\n"
               "channel 3: kit*30\n");
    write_text(source / "fast.toml", "tempo_base = 20\n[voice.1]\nprogram = 70\n");
    write_text(source / "fast.mml", "phrase p { t300 ! @1 o4 l8 c d e f g a b > c }\n"
                                    "phrase long { @1 r2 o3 c1^1 }\nchannel 2: p\nchannel 4: long\n");
    pack(source, folder.path() / "set");
    expect_round_trip(folder.path() / "set", 2);
}

// A type 1 file from mido with what a score cannot hold.
const char* const mido_song = R"(
import sys, mido
f = mido.MidiFile(type=1, ticks_per_beat=480)
meta = mido.MidiTrack(); f.tracks.append(meta)
meta.append(mido.MetaMessage('track_name', name='Chords', time=0))
meta.append(mido.MetaMessage('time_signature', numerator=3, denominator=4, time=0))
meta.append(mido.MetaMessage('set_tempo', tempo=500000, time=0))
meta.append(mido.MetaMessage('set_tempo', tempo=400000, time=1440))
keys = mido.MidiTrack(); f.tracks.append(keys)
keys.append(mido.Message('sysex', data=[0x7E, 0x7F, 0x09, 0x01], time=0))
keys.append(mido.Message('program_change', channel=0, program=40, time=0))
keys.append(mido.Message('control_change', channel=0, control=7, value=90, time=0))
keys.append(mido.Message('control_change', channel=0, control=10, value=30, time=0))
for bar in range(4):
    for n in (60, 64, 67):
        keys.append(mido.Message('note_on', channel=0, note=n, velocity=80 + bar, time=0))
    keys.append(mido.Message('note_off', channel=0, note=60, time=480))
    keys.append(mido.Message('note_off', channel=0, note=64, time=0))
    keys.append(mido.Message('note_off', channel=0, note=67, time=0))
keys.append(mido.Message('pitchwheel', channel=0, pitch=2000, time=0))
keys.append(mido.Message('control_change', channel=0, control=64, value=127, time=0))
keys.append(mido.Message('note_on', channel=0, note=72, velocity=100, time=7))
keys.append(mido.Message('note_off', channel=0, note=72, time=473))
drums = mido.MidiTrack(); f.tracks.append(drums)
for beat in range(8):
    drums.append(mido.Message('note_on', channel=9, note=36 if beat % 2 == 0 else 38, velocity=100, time=0))
    drums.append(mido.Message('note_on', channel=9, note=42, velocity=70, time=0))
    drums.append(mido.Message('note_off', channel=9, note=42, time=240))
    drums.append(mido.Message('note_off', channel=9, note=36 if beat % 2 == 0 else 38, time=0))
    drums.append(mido.Message('note_on', channel=9, note=42, velocity=60, time=0))
    drums.append(mido.Message('note_off', channel=9, note=42, time=240))
f.save(sys.argv[1])
)";

// A format 0 file with loop markers, one that plays on twelve channels, and
// one whose loop start is controller 111 and whose loop end its end.
const char* const mido_loop_and_crowd = R"(
import sys, mido
f = mido.MidiFile(type=0, ticks_per_beat=96)
t = mido.MidiTrack(); f.tracks.append(t)
t.append(mido.Message('program_change', channel=2, program=73, time=0))
t.append(mido.Message('note_on', channel=2, note=62, velocity=90, time=0))
t.append(mido.Message('note_off', channel=2, note=62, time=96))
t.append(mido.MetaMessage('marker', text='loopStart', time=0))
for n in (65, 69, 72, 69):
    t.append(mido.Message('note_on', channel=2, note=n, velocity=90, time=0))
    t.append(mido.Message('note_off', channel=2, note=n, time=96))
t.append(mido.MetaMessage('marker', text='loopEnd', time=0))
f.save(sys.argv[1])
g = mido.MidiFile(type=0, ticks_per_beat=96)
t = mido.MidiTrack(); g.tracks.append(t)
for c in range(12):
    t.append(mido.Message('note_on', channel=c, note=50 + c, velocity=90, time=0))
t.append(mido.Message('note_off', channel=0, note=50, time=192))
g.save(sys.argv[2])
h = mido.MidiFile(type=0, ticks_per_beat=96)
t = mido.MidiTrack(); h.tracks.append(t)
t.append(mido.Message('note_on', channel=0, note=60, velocity=70, time=0))
t.append(mido.Message('note_off', channel=0, note=60, time=96))
t.append(mido.Message('control_change', channel=0, control=111, value=0, time=0))
t.append(mido.Message('note_on', channel=0, note=64, velocity=70, time=0))
t.append(mido.Message('note_off', channel=0, note=64, time=192))
h.save(sys.argv[3])
)";

void make_with_mido(const char* script, const std::vector<std::string>& paths)
{
    std::vector<std::string> arguments{"-c", script};
    arguments.insert(arguments.end(), paths.begin(), paths.end());
    // Debian's mido lives with the system's Python.
    const CliRun run = testing::run_program("/usr/bin/python3", arguments);
    ASSERT_EQ(run.status, 0) << run.err;
}

int count_of(const std::string& text, const std::string& part)
{
    int count = 0;
    for (std::size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1))
        ++count;
    return count;
}

TEST(ImportCommand, AFileFromAnotherToolPlaysAndItsReportListsWhatWasLeftOut)
{
    TempDir folder;
    const std::string song = (folder.path() / "chords.mid").string();
    make_with_mido(mido_song, {song});
    const CliRun imported = run_cli({"import", song, "-o", (folder.path() / "src").string()});
    ASSERT_EQ(imported.status, 0) << imported.err;
    const auto report = import_report(imported);
    for (const char* words : {"System Exclusive messages left out: 1", "pitch bends left out: 1",
                              "controller 64 messages left out: 1", "tempo changes: 1",
                              "notes moved to the nearest tick: 1, by at most"})
        EXPECT_TRUE(mentions(report, words)) << words << "\n" << imported.out;
    pack(folder.path() / "src", folder.path() / "set");
    const std::string played = trace(folder.path() / "set", 1);
    // The chord on three channels of its own, each in the file's program
    // and pan; the drums on the drum channel.
    std::set<std::string> chord_channels;
    for (const char* note : {"3C", "40", "43"}) {
        std::string channel;
        for (char c = '0'; c <= '8' && channel.empty(); ++c)
            if (played.find(std::string(" 9") + c + " " + note + " 50\n") != std::string::npos)
                channel = std::string(1, c);
        ASSERT_FALSE(channel.empty()) << note << "\n" << played;
        chord_channels.insert(channel);
        for (const std::string& message : {" C" + channel + " 28\n", " B" + channel + " 0A 1E\n"})
            EXPECT_NE(played.find(message), std::string::npos) << message;
    }
    EXPECT_EQ(chord_channels.size(), 3u);
    for (const char* message : {" 99 24 64\n", " 99 2A 46\n", " 99 26 64\n", " 99 2A 3C\n"})
        EXPECT_NE(played.find(message), std::string::npos) << message;
    EXPECT_TRUE(mentions({read_text(folder.path() / "src" / "set.toml")}, "title = \"Chords\""));
}

TEST(ImportCommand, LoopMarkersOrController111BecomeTheLoopAndChannelsBeyondNineAreReported)
{
    TempDir folder;
    const std::string loop = (folder.path() / "loop.mid").string();
    const std::string crowd = (folder.path() / "crowd.mid").string();
    const std::string controller = (folder.path() / "cc111.mid").string();
    make_with_mido(mido_loop_and_crowd, {loop, crowd, controller});
    const CliRun imported = run_cli({"import", loop, "-o", (folder.path() / "loop").string()});
    ASSERT_EQ(imported.status, 0) << imported.err;
    EXPECT_EQ(import_report(imported), std::vector<std::string>{});
    pack(folder.path() / "loop", folder.path() / "loop-set");
    const std::string played = trace(folder.path() / "loop-set", 1);
    // At 120 BPM the loop of four beats comes round about 30 times in a minute;
    // the note before it plays once.
    EXPECT_EQ(count_of(played, " 90 3E 5A"), 1);
    EXPECT_GE(count_of(played, " 90 41 5A"), 25);

    ASSERT_EQ(run_cli({"import", controller, "-o", (folder.path() / "cc111").string()}).status, 0);
    pack(folder.path() / "cc111", folder.path() / "cc111-set");
    const std::string looped = trace(folder.path() / "cc111-set", 1);
    EXPECT_EQ(count_of(looped, " 90 3C 46"), 1);
    EXPECT_GE(count_of(looped, " 90 40 46"), 50);

    const CliRun crowded = run_cli({"import", crowd, "-o", (folder.path() / "crowd").string()});
    ASSERT_EQ(crowded.status, 0) << crowded.err;
    EXPECT_TRUE(mentions(import_report(crowded), "notes left out, as the score has nine channels (MIDI channel 10)"))
        << crowded.out;
    EXPECT_TRUE(mentions(import_report(crowded), "(MIDI channel 12)")) << crowded.out;
    pack(folder.path() / "crowd", folder.path() / "crowd-set");
}

std::vector<std::uint8_t> midi_file(int format, std::vector<std::uint8_t> track, std::uint32_t declared_length)
{
    std::vector<std::uint8_t> file = {'M', 'T', 'h', 'd', 0, 0, 0, 6, 0, static_cast<std::uint8_t>(format), 0, 1, 0, 96,
                                      'M', 'T', 'r', 'k'};
    for (int shift = 24; shift >= 0; shift -= 8)
        file.push_back(static_cast<std::uint8_t>(declared_length >> shift));
    file.insert(file.end(), track.begin(), track.end());
    return file;
}

TEST(ImportCommand, BadFilesAreRefusedInOneLineNamingThePlaceAndNothingIsWritten)
{
    TempDir folder;
    const std::vector<std::uint8_t> note = {0x00, 0x90, 0x3C, 0x40, 0x60, 0x3C, 0x00};  // the second by running status
    const std::vector<std::uint8_t> end = {0x00, 0xFF, 0x2F, 0x00};
    auto track = [](std::vector<std::uint8_t> a, const std::vector<std::uint8_t>& b) {
        a.insert(a.end(), b.begin(), b.end());
        return a;
    };
    const auto good = track(note, end);
    const struct {
        std::vector<std::uint8_t> bytes;
        const char* words;
    } cases[] = {
        {{'h', 'e', 'l', 'l', 'o', '\n'}, "byte 0: not a Standard MIDI File"},
        {midi_file(2, good, static_cast<std::uint32_t>(good.size())), "byte 8: format 2"},
        {midi_file(0, good, 100), "track 1, byte 18: the track is cut off (100 bytes announced, 11 there)"},
        {midi_file(0, note, static_cast<std::uint32_t>(note.size())), "track 1, byte 29: the track ends without an end-of-track event"},
        {midi_file(0, track({0x00, 0xFF, 0x01, 0x00, 0x00, 0x3C, 0x40}, end), 11),
         "track 1, byte 27: data byte without a status byte (running status does not carry across a meta"},
    };
    for (const auto& bad : cases) {
        SCOPED_TRACE(bad.words);
        const std::string path = folder.write("bad.mid", bad.bytes);
        const fs::path out = folder.path() / "out";
        const CliRun run = run_cli({"import", path, "-o", out.string()});
        EXPECT_NE(run.status, 0);
        EXPECT_EQ(run.err.rfind("tambelo-cli: " + path + ": ", 0), 0u) << run.err;
        EXPECT_NE(run.err.find(bad.words), std::string::npos) << run.err;
        EXPECT_EQ(std::ranges::count(run.err, '\n'), 1);
        EXPECT_FALSE(fs::exists(out));
    }
    // Running status itself is fine, and a folder with a source is not written over.
    const std::string path = folder.write("good.mid", midi_file(0, good, static_cast<std::uint32_t>(good.size())));
    ASSERT_EQ(run_cli({"import", path, "-o", (folder.path() / "good").string()}).status, 0);
    const std::string before = read_text(folder.path() / "good" / "song.mml");
    EXPECT_NE(before.find("c"), std::string::npos);
    const CliRun again = run_cli({"import", path, "-o", (folder.path() / "good").string()});
    EXPECT_NE(again.status, 0);
    EXPECT_NE(again.err.find("holds a set.toml already"), std::string::npos) << again.err;
}

}  // namespace
}  // namespace tambelo
