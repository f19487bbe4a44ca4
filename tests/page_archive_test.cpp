#include "cli/authoring/page_archive_writer.h"
#include "library/page_archive.h"
#include "tests/support/temp_dir.h"

#include <gtest/gtest.h>

#ifndef _WIN32
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

#include <chrono>
#include <filesystem>
#include <future>
#include <numeric>

namespace tambelo {
namespace {

using Bytes = std::vector<std::uint8_t>;

// An archive image whose page table holds exactly `words` (word 0 first),
// followed by `pages` pages of data in which every byte names its page.
Bytes archive_image(const std::vector<std::uint16_t>& words, int pages)
{
    Bytes image(static_cast<std::size_t>(pages) * 256);
    for (std::size_t page = 0; page < static_cast<std::size_t>(pages); ++page)
        std::fill_n(image.begin() + static_cast<std::ptrdiff_t>(page * 256), 256,
                    static_cast<std::uint8_t>(page + 1));
    for (std::size_t k = 0; k < words.size(); ++k) {
        image[2 * k] = static_cast<std::uint8_t>(words[k] & 0xFF);
        image[2 * k + 1] = static_cast<std::uint8_t>(words[k] >> 8);
    }
    return image;
}

class PageArchiveTest : public ::testing::Test {
protected:
    testing::TempDir dir;
    std::string missing = (dir.path() / "missing.dat").string();
};

TEST_F(PageArchiveTest, EntriesAreTheirPagesFromTheTable)
{
    // Words 1..4 = 2, 5, 9, 0: entry 1 is pages 2..4, entry 2 pages 5..8.
    const auto path = dir.write("a.dat", archive_image({0, 2, 5, 9, 0}, 8));
    const auto first = PageArchive::read_entry(path.c_str(), 1);
    ASSERT_TRUE(first);
    EXPECT_EQ(first->size(), 768u);
    EXPECT_EQ(first->front(), 2);  // byte 256 of the file, the first of page 2
    EXPECT_EQ(first->at(256), 3);
    EXPECT_EQ(first->back(), 4);

    const auto second = PageArchive::read_entry(path.c_str(), 2);
    ASSERT_TRUE(second);
    EXPECT_EQ(second->size(), 1024u);
    EXPECT_EQ(second->front(), 5);
    EXPECT_EQ(second->back(), 8);

    EXPECT_FALSE(PageArchive::read_entry(path.c_str(), 3));  // end page 0
}

TEST_F(PageArchiveTest, SpansTheTableCannotDescribeGiveNothing)
{
    // Entry 1 starts at page 0; entry 2 ends before it starts; entry 3 is
    // empty; entry 4 starts beyond the end of the file.
    const auto path = dir.write("bad.dat", archive_image({0, 0, 3, 2, 2, 40, 41}, 4));
    EXPECT_FALSE(PageArchive::read_entry(path.c_str(), 1));
    EXPECT_FALSE(PageArchive::read_entry(path.c_str(), 2));
    EXPECT_FALSE(PageArchive::read_entry(path.c_str(), 3));
    EXPECT_FALSE(PageArchive::read_entry(path.c_str(), 5));
}

TEST_F(PageArchiveTest, AnEntryRunningPastTheEndKeepsItsSizeWithZeroesForTheMissingBytes)
{
    auto image = archive_image({0, 2, 4, 0}, 2);
    image.resize(256 + 100);  // page 2 is cut short; page 3 is missing
    const auto path = dir.write("short.dat", image);
    const auto entry = PageArchive::read_entry(path.c_str(), 1);
    ASSERT_TRUE(entry);
    ASSERT_EQ(entry->size(), 512u);
    EXPECT_EQ(entry->at(99), 2);
    EXPECT_EQ(entry->at(100), 0);
    EXPECT_EQ(entry->back(), 0);
}

TEST_F(PageArchiveTest, MissingEmptyAndGarbageArchivesBehaveAsMissingEntries)
{
    EXPECT_FALSE(PageArchive::read_entry(missing.c_str(), 1));
    EXPECT_FALSE(PageArchive::read_entry("", 1));

    const auto empty = dir.write("empty.dat", {});
    EXPECT_FALSE(PageArchive::read_entry(empty.c_str(), 1));
    EXPECT_EQ(PageArchive::next_entry(empty.c_str(), 1), 1);

    const auto odd = dir.write("odd.dat", {0, 0, 2});  // word 1 is cut in half
    EXPECT_FALSE(PageArchive::read_entry(odd.c_str(), 1));
    EXPECT_EQ(PageArchive::next_entry(odd.c_str(), 0), 0);

    Bytes garbage(3000);
    std::iota(garbage.begin(), garbage.end(), 0);
    const auto noise = dir.write("noise.dat", garbage);
    for (std::int32_t n : {-5, 0, 1, 7, 200, 1499, 1500, 40000}) {
        const auto entry = PageArchive::read_entry(noise.c_str(), n);
        if (entry) {
            EXPECT_EQ(entry->size() % 256, 0u);
        }
    }
}

#ifndef _WIN32  // named pipes in the file system are POSIX's
// Runs `read` on another thread and says whether it returned within a second.
// Should it wait on the FIFO, a writer opening the FIFO lets it go.
template <typename Read>
bool returns_at_once(const std::string& fifo, Read read)
{
    auto done = std::async(std::launch::async, read);
    const bool in_time = done.wait_for(std::chrono::seconds(1)) == std::future_status::ready;
    if (!in_time) {
        const int writer = ::open(fifo.c_str(), O_WRONLY | O_NONBLOCK);
        if (writer >= 0)
            ::close(writer);
    }
    done.get();
    return in_time;
}

TEST_F(PageArchiveTest, AFifoOrAFolderInPlaceOfTheArchiveIsMissingAndNeverWaitedOn)
{
    const std::string fifo = (dir.path() / "fifo.dat").string();
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    const auto next = [&] { EXPECT_EQ(PageArchive::next_entry(fifo.c_str(), 1), 0); };
    const auto read = [&] { EXPECT_FALSE(PageArchive::read_entry(fifo.c_str(), 1)); };
    EXPECT_TRUE(returns_at_once(fifo, next));
    EXPECT_TRUE(returns_at_once(fifo, read));

    const std::string folder = (dir.path() / "folder.dat").string();
    std::filesystem::create_directory(folder);
    EXPECT_EQ(PageArchive::next_entry(folder.c_str(), 1), 0);
    EXPECT_FALSE(PageArchive::read_entry(folder.c_str(), 1));
}
#endif

TEST_F(PageArchiveTest, NextEntryStopsAtTheLastTrackAndAnswersZeroWithoutAnArchive)
{
    const auto path = dir.write("set.dat", build_page_archive({Bytes(10), Bytes(300), Bytes(1)}));
    EXPECT_EQ(PageArchive::next_entry(path.c_str(), 0), 1);
    EXPECT_EQ(PageArchive::next_entry(path.c_str(), 1), 2);
    EXPECT_EQ(PageArchive::next_entry(path.c_str(), 2), 3);
    EXPECT_EQ(PageArchive::next_entry(path.c_str(), 3), 3);
    EXPECT_EQ(PageArchive::next_entry(path.c_str(), -2), -2);  // word -1 lies outside the file
    EXPECT_EQ(PageArchive::next_entry(path.c_str(), INT32_MAX), INT32_MAX);
    EXPECT_EQ(PageArchive::next_entry(path.c_str(), INT32_MIN), INT32_MIN);
    EXPECT_EQ(PageArchive::next_entry(missing.c_str(), 5), 0);
    EXPECT_EQ(PageArchive::next_entry(missing.c_str(), 0), 0);
}

TEST_F(PageArchiveTest, NextEntryCountsTableWordsBeyondATruncatedFileAsZero)
{
    // The table of four entries is cut after word 3: entry 2 ends at word 3,
    // and word 4, which would tell whether entry 3 exists, is gone.
    auto image = archive_image({0, 2, 3, 4, 5, 6, 0}, 5);
    image.resize(8);
    const auto path = dir.write("cut.dat", image);
    EXPECT_EQ(PageArchive::next_entry(path.c_str(), 1), 2);
    EXPECT_EQ(PageArchive::next_entry(path.c_str(), 2), 2);
}

TEST_F(PageArchiveTest, PrevEntryNeverGoesBelowOneAndNeedsNoArchive)
{
    EXPECT_EQ(PageArchive::prev_entry(5), 4);
    EXPECT_EQ(PageArchive::prev_entry(2), 1);
    EXPECT_EQ(PageArchive::prev_entry(1), 1);
    EXPECT_EQ(PageArchive::prev_entry(0), 1);
    EXPECT_EQ(PageArchive::prev_entry(-7), 1);
    EXPECT_EQ(PageArchive::prev_entry(INT32_MIN), 1);
}

TEST_F(PageArchiveTest, WrittenArchivesReadBackEntryByEntry)
{
    const std::vector<Bytes> entries{Bytes(1, 7), Bytes(256, 8), Bytes(257, 9), {}};
    const auto path = dir.write("round.dat", build_page_archive(entries));
    const std::size_t expected_sizes[] = {256, 256, 512, 256};
    for (std::int32_t n = 1; n <= 4; ++n) {
        const auto entry = PageArchive::read_entry(path.c_str(), n);
        ASSERT_TRUE(entry) << "entry " << n;
        EXPECT_EQ(entry->size(), expected_sizes[n - 1]);
        const auto& source = entries[static_cast<std::size_t>(n - 1)];
        EXPECT_TRUE(std::equal(source.begin(), source.end(), entry->begin()));
    }
    EXPECT_FALSE(PageArchive::read_entry(path.c_str(), 5));
}

}  // namespace
}  // namespace tambelo
