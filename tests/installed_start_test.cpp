// How an installed window finds its library and the music set it plays at
// start, where a portable folder finds both beside the program.

#include "frontend/window_logic/common.h"
#include "frontend/window_logic/start_set.h"
#include "tests/support/score_archive_bytes.h"
#include "tests/support/temp_dir.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>

using namespace tambelo::frontend;
using tambelo::testing::TempDir;
namespace fs = std::filesystem;

namespace {

void touch(const fs::path& path) { std::ofstream(path) << tambelo::testing::one_track_score_archive(); }

}  // namespace

// Only Linux installs the library under a SONAME.
#if !defined(_WIN32)
TEST(InstalledStart, TheLibraryInTheProgramFolderWinsOverTheInstalledOne)
{
    TempDir log_dir;
    setenv("TAMBELO_DOUBLE_LOG", (log_dir.path() / "calls.log").c_str(), 1);
    TempDir folder;
    const fs::path beside = folder.path() / playback_library_file_name();

    // None beside the program: the installed name is loaded.
    PlaybackLibrary installed(beside, TAMBELO_LIBRARY_DOUBLE_WITHOUT_GET_NEXT);
    installed.initialize();
    EXPECT_THROW(installed.get_next(1), BindingError);
    installed.release();

    // One beside the program: that one, whatever is installed.
    fs::copy_file(TAMBELO_LIBRARY_DOUBLE, beside);
    PlaybackLibrary portable(beside, TAMBELO_LIBRARY_DOUBLE_WITHOUT_GET_NEXT);
    portable.initialize();
    EXPECT_EQ(portable.get_next(1), 2);
    portable.release();
}

TEST(InstalledStart, AMissingLibraryNamesBothPlaces)
{
    TempDir folder;
    PlaybackLibrary library(folder.path() / playback_library_file_name(), "libtambelo-missing.so.0");
    try {
        library.initialize();
        FAIL() << "no library was there to load";
    } catch (const BindingError& error) {
        const std::string message = error.what();
        EXPECT_NE(message.find(folder.path().string()), std::string::npos) << message;
        EXPECT_NE(message.find("libtambelo-missing.so.0"), std::string::npos) << message;
    }
}

#endif

TEST(InstalledStart, TheStartSetIsTheFirstPlaceThatHoldsOne)
{
    TempDir program, named, last, samples;
    StartSetPlaces places{program.path(), named.path(), last.path() / "game.dat", samples.path()};
    // Nothing anywhere: the program's own folder, which plays nothing.
    EXPECT_EQ(start_score_archive(places), program.path() / "amus.dat");

    touch(samples.path() / "amus.dat");
    EXPECT_EQ(start_score_archive(places), samples.path() / "amus.dat");
    touch(last.path() / "game.dat");
    EXPECT_EQ(start_score_archive(places), last.path() / "game.dat");
    // A folder on the command line counts only when it holds a set.
    touch(named.path() / "amus.dat");
    EXPECT_EQ(start_score_archive(places), named.path() / "amus.dat");
    places.command_line = last.path() / "game.dat";
    EXPECT_EQ(start_score_archive(places), last.path() / "game.dat");
    touch(program.path() / "amus.dat");
    EXPECT_EQ(start_score_archive(places), program.path() / "amus.dat");

    // A named file or folder that holds no set is passed over.
    fs::remove(program.path() / "amus.dat");
    places.command_line = named.path() / "missing.dat";
    EXPECT_EQ(start_score_archive(places), last.path() / "game.dat");
    // ...and the user is told why, and what plays instead.
    const std::string message = unusable_start_path_message(places, last.path() / "game.dat");
    EXPECT_NE(message.find((named.path() / "missing.dat").string()), std::string::npos) << message;
    EXPECT_NE(message.find((last.path() / "game.dat").string()), std::string::npos) << message;
    places.command_line = named.path();
    EXPECT_EQ(unusable_start_path_message(places, named.path() / "amus.dat"), "");
    EXPECT_TRUE(score_archive_named_by(last.path()).empty());

    // A file that is not a music set is passed over too, and named as such.
    std::ofstream(named.path() / "amus.dat") << "not a set";
    EXPECT_EQ(start_score_archive(places), last.path() / "game.dat");
    EXPECT_NE(unusable_start_path_message(places, last.path() / "game.dat").find("is not a music set"),
              std::string::npos);
    // Nothing holds a set, and the file left is not one: the user is told.
    const StartSetPlaces nowhere{program.path(), {}, {}, {}};
    std::ofstream(program.path() / "amus.dat") << "not a set";
    EXPECT_EQ(start_score_archive(nowhere), program.path() / "amus.dat");
    EXPECT_NE(unusable_start_path_message(nowhere, program.path() / "amus.dat").find("is not a music set"),
              std::string::npos);
    fs::remove(program.path() / "amus.dat");
    // Beside the program, in any case.
    touch(program.path() / "AMUS.DAT");
    EXPECT_EQ(start_score_archive(places), program.path() / "AMUS.DAT");
}
