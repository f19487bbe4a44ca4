#include "library/binary_file.h"
#include "tests/support/temp_dir.h"

#include <gtest/gtest.h>

namespace tambelo {
namespace {

class BinaryFileTest : public ::testing::Test {
protected:
    testing::TempDir dir;
    std::string path = dir.write("data.bin", {10, 20, 30, 40, 50});
};

TEST_F(BinaryFileTest, ModeNumbersOutsideOneToSixOpenNothingAndCloseTheOpenStream)
{
    BinaryFile file;
    ASSERT_TRUE(file.open(path.c_str(), 1));
    EXPECT_FALSE(file.open(path.c_str(), 0));
    EXPECT_FALSE(file.is_open());
    ASSERT_TRUE(file.open(path.c_str(), 1));
    EXPECT_FALSE(file.open(path.c_str(), 7));
    EXPECT_FALSE(file.is_open());
}

TEST_F(BinaryFileTest, ReadsBytesAndItemsAndReportsTheEnd)
{
    BinaryFile file;
    ASSERT_TRUE(file.open(path.c_str(), 1));
    EXPECT_EQ(file.getc(), 10);
    std::uint8_t pair[4]{};
    EXPECT_EQ(file.read(pair, 2, 2), 2u);
    EXPECT_EQ(pair[3], 50);
    EXPECT_EQ(file.getc(), -1);
}

TEST_F(BinaryFileTest, SeekWithEachOriginAndAnUnknownOriginLeavesThePosition)
{
    BinaryFile file;
    ASSERT_TRUE(file.open(path.c_str(), 1));
    EXPECT_EQ(file.seek(2, 0), 0);
    EXPECT_EQ(file.seek(1, 1), 0);
    EXPECT_EQ(file.getc(), 40);
    EXPECT_EQ(file.seek(3, 3), -1);
    EXPECT_EQ(file.getc(), 50);
    EXPECT_EQ(file.seek(-5, 2), 0);
    EXPECT_EQ(file.getc(), 10);
    EXPECT_EQ(file.size(), 5);
}

TEST_F(BinaryFileTest, AMissingFileLeavesNoStreamAndReadsFailQuietly)
{
    BinaryFile file;
    EXPECT_FALSE(file.open((dir.path() / "missing").string().c_str(), 1));
    EXPECT_EQ(file.getc(), -1);
    EXPECT_NE(file.seek(0, 0), 0);
    std::uint8_t byte = 0;
    EXPECT_EQ(file.read(&byte, 1, 1), 0u);
}

TEST_F(BinaryFileTest, WriteModeCreatesTheFile)
{
    const auto created = (dir.path() / "new.bin").string();
    BinaryFile file;
    EXPECT_TRUE(file.open(created.c_str(), 2));
    file.close();
    EXPECT_TRUE(file.open(created.c_str(), 1));
    EXPECT_EQ(file.getc(), -1);
}

}  // namespace
}  // namespace tambelo
