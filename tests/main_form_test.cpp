// The window's behaviour, free of any toolkit: start-up, the seven commands
// and shut-down, run against a stand-in for the playback library that records
// every call, loaded through the program's own binding. The view is a
// recording one too. Runs the same on Linux and, under Wine, on Windows.

#include "frontend/window_logic/common.h"
#include "frontend/window_logic/main_form.h"
#include "frontend/window_logic/path_encoding.h"
#include "frontend/window_logic/window_texts.h"
#include "tests/support/score_archive_bytes.h"
#include "tests/support/temp_dir.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <cstdlib>
#include <fstream>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

using namespace tambelo::frontend;
namespace fs = std::filesystem;

namespace {

using Lines = std::vector<std::string>;

void set_environment(const char* name, const std::string& value)
{
#if defined(_WIN32)
    _putenv_s(name, value.c_str());
#else
    setenv(name, value.c_str(), 1);
#endif
}

void write_file(const fs::path& path, const std::string& bytes)
{
    std::ofstream(path, std::ios::binary) << bytes;
}

std::string text_of(const fs::path& path) { return display_text(path); }

// What the file at a narrow path holds, opened as the library opens it.
std::string narrow_file_bytes(const std::string& path)
{
    std::string bytes;
    if (std::FILE* file = std::fopen(path.c_str(), "rb")) {
        for (int c; (c = std::fgetc(file)) != EOF;)
            bytes += static_cast<char>(c);
        std::fclose(file);
    }
    return bytes;
}

// The stand-in library's file. Under Wine the build's Unix paths are on
// drive Z:, while the tests make other drives current.
fs::path build_file(const char* path)
{
#if defined(_WIN32)
    if (path[0] == '/')
        return fs::path("Z:") / path;
#endif
    return path;
}

// A view that remembers what it was told, and puts its pauses into the
// library's call log so that their place among the calls shows.
class RecordingView : public WindowView {
public:
    explicit RecordingView(fs::path log) : log_(std::move(log)) {}

    void set_caption(const std::string& text) override { caption = text; }
    void set_status(const std::string& text) override
    {
        status = text;
        ++status_updates;
    }
    fs::path ask_for_file() override
    {
        // The real dialog may leave another folder current.
        fs::current_path(fs::temp_directory_path());
        return chosen_file;
    }
    void show_error(const std::string& message) override { errors.push_back(message); }
    void show_notice(const std::string& message) override { notices.push_back(message); }
    void sleep_ms(int milliseconds) override
    {
        std::ofstream(log_, std::ios::app) << "pause " << milliseconds << "\n";
    }

    std::string caption;
    std::string status;
    int status_updates = 0;
    Lines errors;
    Lines notices;
    fs::path chosen_file;

private:
    fs::path log_;
};

// A program folder holding a copy of a library double and optionally a
// title list, and the form started from it.
class Session {
public:
    explicit Session(const char* library_double = TAMBELO_LIBRARY_DOUBLE)
        : library_(program_dir_.path() / playback_library_file_name()),
          view_(log_dir_.path() / "calls.log"),
          form_(library_, view_, program_dir_.path())
    {
        set_environment("TAMBELO_DOUBLE_LOG", text_of(log_dir_.path() / "calls.log"));
        set_environment("TAMBELO_DOUBLE_TRACKS", "30");
        if (library_double != nullptr)
            fs::copy_file(build_file(library_double),
                          program_dir_.path() / playback_library_file_name());
    }
    ~Session()
    {
        std::error_code ignored;
        fs::current_path(fs::temp_directory_path(), ignored);
    }

    fs::path folder(const std::string& name = {}) const
    {
        return name.empty() ? program_dir_.path() : program_dir_.path() / name;
    }

    bool start()
    {
        const bool started = form_.Form_Load();
        start_call_count_ = calls().size();
        return started;
    }

    MainForm& form() { return form_; }
    RecordingView& view() { return view_; }

    void open(const fs::path& chosen)
    {
        view_.chosen_file = chosen;
        form_.mnuOpen_Click();
    }

    Lines calls() const
    {
        std::ifstream log(log_dir_.path() / "calls.log");
        Lines lines;
        for (std::string line; std::getline(log, line);)
            lines.push_back(line);
        return lines;
    }
    // The calls made after start-up, in order.
    Lines calls_after_start() const
    {
        const Lines all = calls();
        return Lines(all.begin() + static_cast<std::ptrdiff_t>(start_call_count_), all.end());
    }

    bool program_folder_is_current() const
    {
        return fs::equivalent(fs::current_path(), program_dir_.path());
    }

private:
    tambelo::testing::TempDir program_dir_;
    tambelo::testing::TempDir log_dir_;
    PlaybackLibrary library_;
    RecordingView view_;
    MainForm form_;
    std::size_t start_call_count_ = 0;
};

TEST(FormLoad, PlaysTrackOneOfTheSetBesideTheProgram)
{
    Session session;
    write_file(session.folder("amus.txt"), "0 Game\r\n1 Opening\r\n2 Battle\r\n");
    ASSERT_TRUE(session.start());
    EXPECT_EQ(session.calls(), (Lines{"initialize",
                                      "open_file " + text_of(session.folder("amus.dat")) + " " +
                                          text_of(session.folder("amus.mda")),
                                      "play_music 1"}));
    EXPECT_EQ(session.view().caption, "TAMBELO - Game");
    EXPECT_EQ(session.view().status, " 1 Opening");
    EXPECT_TRUE(session.program_folder_is_current());
}

TEST(FormLoad, WithoutAUsableTitleListShowsTheNoTitleTexts)
{
    Session missing;
    ASSERT_TRUE(missing.start());
    EXPECT_EQ(missing.view().caption, "TAMBELO");
    EXPECT_EQ(missing.view().status, " 1 NO TITLE");

#if !defined(_WIN32)
    // An ordinary file whose reading fails with an I/O error.
    Session unreadable;
    fs::create_symlink("/proc/self/mem", unreadable.folder("amus.txt"));
    ASSERT_TRUE(unreadable.start());
    EXPECT_EQ(unreadable.view().caption, "TAMBELO");
    EXPECT_EQ(unreadable.view().status, " 1 NO TITLE");
    EXPECT_EQ(unreadable.calls().back(), "play_music 1");
#endif
}

TEST(FormLoad, PlaysAStartSetChosenElsewhereWithItsOwnFiles)
{
    Session session;
    tambelo::testing::TempDir elsewhere;
    write_file(elsewhere.path() / "game.txt", "0 Other game\r\n1 Intro\r\n");
    session.form().set_start_score_path(elsewhere.path() / "game.dat");
    ASSERT_TRUE(session.start());
    EXPECT_EQ(session.calls(), (Lines{"initialize",
                                      "open_file " + text_of(elsewhere.path() / "game.dat") + " " +
                                          text_of(elsewhere.path() / "game.mda"),
                                      "play_music 1"}));
    EXPECT_EQ(session.view().caption, "TAMBELO - Other game");
    EXPECT_EQ(session.view().status, " 1 Intro");
    // The program's folder is still made current.
    EXPECT_TRUE(session.program_folder_is_current());
}

TEST(FormLoad, AMissingLibraryIsReportedByName)
{
    Session session(nullptr);
    EXPECT_FALSE(session.start());
    ASSERT_EQ(session.view().errors.size(), 1u);
    EXPECT_NE(session.view().errors[0].find(text_of(session.folder(playback_library_file_name()))),
              std::string::npos)
        << session.view().errors[0];
    EXPECT_TRUE(session.form().ended_by_failure());
    EXPECT_TRUE(session.calls().empty());
    session.form().Form_Unload();
    EXPECT_TRUE(session.calls().empty());
}

TEST(Buttons, Next10StepsTenTimesAndRequestsOnce)
{
    Session session;
    write_file(session.folder("amus.txt"), "11 Eleventh\r\n");
    ASSERT_TRUE(session.start());
    session.form().cmdNext10_Click();
    Lines expected;
    for (int track = 1; track <= 10; ++track)
        expected.push_back("get_next " + std::to_string(track));
    expected.push_back("play_music 11");
    EXPECT_EQ(session.calls_after_start(), expected);
    EXPECT_EQ(session.form().current_track(), 11);
    EXPECT_EQ(session.view().status, " 11 Eleventh");
}

TEST(Buttons, NextAtTheLastTrackRequestsItAgain)
{
    Session session;
    set_environment("TAMBELO_DOUBLE_TRACKS", "2");
    ASSERT_TRUE(session.start());
    session.form().cmdNext_Click();
    session.form().cmdNext_Click();
    EXPECT_EQ(session.calls_after_start(),
              (Lines{"get_next 1", "play_music 2", "get_next 2", "play_music 2"}));
    EXPECT_EQ(session.view().status, " 2 NO TITLE");
}

TEST(Buttons, PrevAtTrackOneStaysAtOne)
{
    Session session;
    ASSERT_TRUE(session.start());
    session.form().cmdPrev_Click();
    EXPECT_EQ(session.calls_after_start(), (Lines{"get_prev 1", "play_music 1"}));
    session.form().cmdPrev10_Click();
    EXPECT_EQ(session.calls_after_start().size(), 2u + 10u + 1u);
    EXPECT_EQ(session.calls_after_start().back(), "play_music 1");
    EXPECT_EQ(session.form().current_track(), 1);

    session.form().cmdNext10_Click();
    session.form().cmdPrev_Click();
    EXPECT_EQ(session.form().current_track(), 10);
    EXPECT_EQ(session.calls_after_start().back(), "play_music 10");
}

TEST(Buttons, StopLeavesTheStatusLineAndPlayRestarts)
{
    Session session;
    write_file(session.folder("amus.txt"), "1 Opening\r\n2 Battle\r\n");
    ASSERT_TRUE(session.start());
    session.form().cmdNext_Click();
    EXPECT_EQ(session.view().status, " 2 Battle");
    const int updates = session.view().status_updates;
    EXPECT_TRUE(session.form().playing());
    session.form().cmdStop_Click();
    EXPECT_EQ(session.calls_after_start(), (Lines{"get_next 1", "play_music 2", "stop_music"}));
    EXPECT_EQ(session.view().status_updates, updates);
    EXPECT_FALSE(session.form().playing());
    session.form().cmdPlay_Click();
    EXPECT_TRUE(session.form().playing());
    EXPECT_EQ(session.calls_after_start().back(), "play_music 2");
    EXPECT_EQ(session.view().status_updates, updates + 1);
    EXPECT_EQ(session.view().status, " 2 Battle");
}

TEST(OutputLoss, TheStatusSaysTheSoundIsGoneUntilItIsBack)
{
    Session session;
    write_file(session.folder("amus.txt"), "1 Opening\r\n2 Battle\r\n");
    ASSERT_TRUE(session.start());
    session.form().set_output_lost(true);
    EXPECT_EQ(session.view().status, output_lost_status_text());
    // The buttons go on working; the line keeps saying why nothing is heard.
    session.form().cmdNext_Click();
    EXPECT_EQ(session.calls_after_start(), (Lines{"get_next 1", "play_music 2"}));
    EXPECT_EQ(session.view().status, output_lost_status_text());
    session.form().set_output_lost(false);
    EXPECT_EQ(session.view().status, " 2 Battle");
}

TEST(Buttons, AMissingExportEndsTheProgramAtItsFirstUse)
{
    Session session(TAMBELO_LIBRARY_DOUBLE_WITHOUT_GET_NEXT);
    ASSERT_TRUE(session.start());
    session.form().cmdPrev_Click();
    EXPECT_TRUE(session.view().errors.empty());

    session.form().cmdNext_Click();
    ASSERT_EQ(session.view().errors.size(), 1u);
    EXPECT_NE(session.view().errors[0].find("get_next"), std::string::npos) << session.view().errors[0];
    EXPECT_TRUE(session.form().ended_by_failure());
    // The playback thread is stopped before the program ends, and nothing
    // runs after that, not even the window's closing.
    EXPECT_EQ(session.calls_after_start(), (Lines{"get_prev 1", "play_music 1", "release"}));
    session.form().cmdPlay_Click();
    session.form().Form_Unload();
    EXPECT_EQ(session.calls_after_start().size(), 3u);
    EXPECT_EQ(session.view().errors.size(), 1u);
}

TEST(FormUnload, ClosingTheWindowOnlyReleasesAndOnlyOnce)
{
    Session session;
    ASSERT_TRUE(session.start());
    session.form().cmdNext_Click();
    const std::size_t before = session.calls().size();
    session.form().Form_Unload();
    session.form().Form_Unload();
    session.form().cmdPlay_Click();
    const Lines calls = session.calls();
    EXPECT_EQ(Lines(calls.begin() + static_cast<std::ptrdiff_t>(before), calls.end()),
              (Lines{"release"}));
    EXPECT_FALSE(session.form().ended_by_failure());
}

TEST(OpenCommand, FindsTheVoicesAndTitlesByTheChosenFilesName)
{
    Session session;
    write_file(session.folder("amus.txt"), "0 First game\r\n");
    ASSERT_TRUE(session.start());
    session.form().cmdNext_Click();

    // Japanese names, as the sets of Japanese games have them, outside the
    // ANSI code page of a Western Windows.
    tambelo::testing::TempDir other;
    const fs::path folder = other.path() / fs::path(u8"\u30B2\u30FC\u30E0 \u7B2C\u4E8C\u4F5C");
    fs::create_directory(folder);
    const fs::path stem = folder / fs::path(u8"\u66F2 music");
    fs::path chosen = stem;
    chosen += ".bin";
    fs::path voices = stem;
    voices += ".mda";
    fs::path titles = stem;
    titles += ".txt";
    write_file(chosen, tambelo::testing::one_track_score_archive());
    write_file(voices, "voices");
    write_file(titles, "0 Second game\r\n1 Prologue\r\n");
    session.open(chosen);

    // The library gets narrow paths that name the very files.
    const std::optional<std::string> score_argument = library_path_argument(chosen);
    const std::optional<std::string> voices_argument = library_path_argument(voices);
    ASSERT_TRUE(score_argument && voices_argument);
    EXPECT_EQ(narrow_file_bytes(*score_argument), tambelo::testing::one_track_score_archive());
    EXPECT_EQ(narrow_file_bytes(*voices_argument), "voices");
    const Lines calls = session.calls_after_start();
    EXPECT_EQ(Lines(calls.begin() + 2, calls.end()),
              (Lines{"stop_music", "pause 100", "open_file " + *score_argument + " " + *voices_argument,
                     "play_music 1"}));
    EXPECT_EQ(session.view().caption, "TAMBELO - Second game");
    EXPECT_EQ(session.view().status, " 1 Prologue");
    EXPECT_EQ(session.form().current_track(), 1);
    EXPECT_TRUE(session.program_folder_is_current());
}

TEST(OpenCommand, ASetWithoutTitleListDropsTheOldTitles)
{
    Session session;
    write_file(session.folder("amus.txt"), "0 First game\r\n1 Opening\r\n");
    ASSERT_TRUE(session.start());
    tambelo::testing::TempDir other;
    write_file(other.path() / "amus.dat", tambelo::testing::one_track_score_archive());
    session.open(other.path() / "amus.dat");
    EXPECT_EQ(session.view().caption, "TAMBELO");
    EXPECT_EQ(session.view().status, " 1 NO TITLE");
}

TEST(OpenCommand, FindsTheFilesOfASetInUpperCaseAndRefusesWhatIsNotASet)
{
    Session session;
    write_file(session.folder("amus.txt"), "0 First game\r\n1 Opening\r\n");
    ASSERT_TRUE(session.start());
    tambelo::testing::TempDir other;
    write_file(other.path() / "AMUS.DAT", tambelo::testing::one_track_score_archive());
    write_file(other.path() / "AMUS.MDA", "voices");
    write_file(other.path() / "Amus.Txt", "0 Second game\r\n1 Prologue\r\n");
    session.open(other.path() / "AMUS.DAT");
    // The same file (on Windows, whose names ignore case, the name may differ).
    EXPECT_TRUE(std::filesystem::equivalent(session.form().voice_path(), other.path() / "AMUS.MDA"));
    EXPECT_EQ(session.view().caption, "TAMBELO - Second game");
    EXPECT_EQ(session.view().status, " 1 Prologue");

    // Text, or a file of another kind named .dat: not opened (so not
    // remembered), the set playing goes on, and the user is told once.
    const Lines before = session.calls();
    write_file(other.path() / "notes.dat", "root:x:0:0:root:/root:/bin/bash\n");
    session.open(other.path() / "notes.dat");
    EXPECT_EQ(session.calls(), before);
    EXPECT_EQ(session.form().score_path(), other.path() / "AMUS.DAT");
    ASSERT_EQ(session.view().notices.size(), 1u);
    EXPECT_EQ(session.view().notices[0], "notes.dat is not a music set: it does not start with a score "
                                         "archive's track table.");
    EXPECT_TRUE(session.view().errors.empty());
}

TEST(OpenCommand, CancellingOrChoosingNoOrdinaryFileChangesNothing)
{
    Session session;
    write_file(session.folder("amus.txt"), "0 Game\r\n1 Opening\r\n2 Battle\r\n");
    ASSERT_TRUE(session.start());
    session.form().cmdNext_Click();
    const Lines before = session.calls();

    tambelo::testing::TempDir other;
    fs::create_directory(other.path() / "folder.dat");
    std::vector<fs::path> choices = {fs::path(), other.path() / "missing.dat",
                                     other.path() / "folder.dat"};
#if !defined(_WIN32)
    // A name beginning with a dot is a hidden file.
    write_file(other.path() / ".hidden.dat", "score");
    choices.push_back(other.path() / ".hidden.dat");
#endif
    for (const fs::path& chosen : choices) {
        session.open(chosen);
        EXPECT_EQ(session.calls(), before) << text_of(chosen);
        EXPECT_EQ(session.view().caption, "TAMBELO - Game");
        EXPECT_EQ(session.view().status, " 2 Battle");
        EXPECT_EQ(session.form().current_track(), 2);
        EXPECT_TRUE(session.program_folder_is_current());
    }
}

}  // namespace
