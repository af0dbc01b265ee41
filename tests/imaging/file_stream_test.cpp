#include "imaging/file_stream.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "support/temp_dir.h"

namespace brelvix {

namespace {

TEST(PxFileStream, MissingFileReportsTheSystemErrorAndStaysClosed)
{
    TempDir dir;
    PxFileStream stream;
    EXPECT_EQ(stream.Open((dir.Path() / "absent.bmp").c_str()), ENOENT);
    EXPECT_FALSE(stream.IsOpen());
    EXPECT_EQ(stream.ReadBlock(4), nullptr);
    std::uint8_t buffer[4];
    EXPECT_EQ(stream.Read(buffer, 4), 1);
    EXPECT_THROW(stream.ReadByte(), PxStreamError);
    EXPECT_THROW(stream.ReadWord(), PxStreamError);
    EXPECT_THROW(stream.ReadDword(), PxStreamError);
}

TEST(PxFileStream, OnlyRegularFilesOpen)
{
    TempDir dir;
    PxFileStream stream;
    EXPECT_EQ(stream.Open(dir.Path().c_str()), EISDIR);
    EXPECT_FALSE(stream.IsOpen());

    // A named pipe without a writer: opening it must not wait for one.
    const std::string pipe = (dir.Path() / "pipe.jpg").string();
    ASSERT_EQ(::mkfifo(pipe.c_str(), 0600), 0);
    EXPECT_EQ(stream.Open(pipe.c_str()), EINVAL);
    EXPECT_FALSE(stream.IsOpen());
    EXPECT_EQ(stream.Open("/dev/null"), EINVAL);

    // A link to a regular file is that file.
    const std::string target = dir.Write("target", std::string("abc"));
    const std::string link = (dir.Path() / "link").string();
    ASSERT_EQ(::symlink(target.c_str(), link.c_str()), 0);
    ASSERT_EQ(stream.Open(link.c_str()), 0);
    EXPECT_EQ(stream.Size(), 3u);
}

TEST(PxFileStream, IntegersAreLittleEndianAndUnsigned)
{
    TempDir dir;
    const std::string path = dir.Write("ints", std::vector<std::uint8_t>{2, 1, 0xFF, 0xFF, 1, 0, 0, 0, 0, 0, 0, 1,
                                                                         0xFE, 0xFF, 0xFF, 0xFF});
    PxFileStream stream;
    ASSERT_EQ(stream.Open(path.c_str()), 0);
    EXPECT_EQ(stream.Size(), 16u);
    EXPECT_EQ(stream.ReadWord(), 258);
    EXPECT_EQ(stream.ReadWord(), 65535);
    EXPECT_EQ(stream.ReadDword(), 1u);
    EXPECT_EQ(stream.ReadDword(), 1u << 24);
    EXPECT_EQ(stream.ReadDword(), 0xFFFFFFFEu);
}

TEST(PxFileStream, ReadsPastTheEndDeliverZeros)
{
    TempDir dir;
    const std::string path = dir.Write("three", std::vector<std::uint8_t>{0x11, 0x22, 0x33});
    PxFileStream stream;
    ASSERT_EQ(stream.Open(path.c_str()), 0);
    EXPECT_EQ(stream.ReadDword(), 0x00332211u);
    EXPECT_EQ(stream.ReadByte(), 0);
    EXPECT_EQ(stream.ReadWord(), 0);
    stream.SeekToStart();
    const std::uint8_t* block = stream.ReadBlock(6);
    ASSERT_NE(block, nullptr);
    const std::uint8_t expected[6] = {0x11, 0x22, 0x33, 0, 0, 0};
    EXPECT_EQ(std::memcmp(block, expected, 6), 0);
}

TEST(PxFileStream, BufferReadsAreShortAtTheEndAndKeepTheRest)
{
    TempDir dir;
    const std::string path = dir.Write("five", std::vector<std::uint8_t>{1, 2, 3, 4, 5});
    PxFileStream stream;
    ASSERT_EQ(stream.Open(path.c_str()), 0);
    std::uint8_t buffer[8];
    std::memset(buffer, 0xAA, sizeof buffer);
    EXPECT_EQ(stream.Read(buffer, 0), 1);
    EXPECT_EQ(stream.Read(nullptr, 4), 1);
    std::uint64_t delivered = 99;
    EXPECT_EQ(stream.Read(buffer, 3, &delivered), 0);
    EXPECT_EQ(delivered, 3u);
    EXPECT_EQ(stream.Read(buffer, 8, &delivered), 0);
    EXPECT_EQ(delivered, 2u);
    EXPECT_EQ(buffer[0], 4);
    EXPECT_EQ(buffer[1], 5);
    EXPECT_EQ(buffer[2], 3);  // left as it was
    EXPECT_EQ(buffer[7], 0xAA);
    EXPECT_EQ(stream.Read(buffer, 4, &delivered), 0);
    EXPECT_EQ(delivered, 0u);
}

TEST(PxFileStream, SeekToStartRereadsTheFirstByte)
{
    TempDir dir;
    std::vector<std::uint8_t> bytes(100);
    for (size_t i = 0; i < bytes.size(); ++i) {
        bytes[i] = static_cast<std::uint8_t>(200 - i);
    }
    const std::string path = dir.Write("hundred", bytes);
    PxFileStream stream;
    ASSERT_EQ(stream.Open(path.c_str()), 0);
    ASSERT_NE(stream.ReadBlock(20), nullptr);
    stream.SeekToStart();
    EXPECT_EQ(stream.ReadByte(), 200);
}

TEST(PxFileStream, SkipCostsNothingAndKeepsTheReadPosition)
{
    TempDir dir;
    const std::string path = dir.Write("skip", std::vector<std::uint8_t>{1, 2, 3, 4, 5, 6});
    PxFileStream stream;
    ASSERT_EQ(stream.Open(path.c_str()), 0);
    EXPECT_NE(stream.Skip(0), nullptr);
    EXPECT_EQ(stream.ReadByte(), 1);
    stream.Skip(2);
    EXPECT_EQ(stream.ReadByte(), 4);
    // A huge skip taken from a hostile header allocates nothing and lands past
    // the end, where every read delivers zeros.
    stream.Skip(0xFFFFFFF0u);
    EXPECT_EQ(stream.ReadByte(), 0);
    stream.Skip(UINT64_MAX);
    EXPECT_EQ(stream.ReadDword(), 0u);
    std::uint64_t delivered = 7;
    std::uint8_t buffer[4] = {9, 9, 9, 9};
    EXPECT_EQ(stream.Read(buffer, 4, &delivered), 0);
    EXPECT_EQ(delivered, 0u);
    EXPECT_EQ(buffer[0], 9);
}

TEST(PxFileStream, HugeBlocksAreRefusedWithoutAllocating)
{
    TempDir dir;
    const std::string path = dir.Write("tiny", std::vector<std::uint8_t>{1});
    PxFileStream stream;
    ASSERT_EQ(stream.Open(path.c_str()), 0);
    EXPECT_EQ(stream.ReadBlock(kPxMaxStoreBytes + 1), nullptr);
    EXPECT_EQ(stream.ReadByte(), 1);
}

TEST(PxFileStream, EmptyFileHasSizeZero)
{
    TempDir dir;
    const std::string path = dir.Write("empty", std::vector<std::uint8_t>{});
    PxFileStream stream;
    ASSERT_EQ(stream.Open(path.c_str()), 0);
    EXPECT_EQ(stream.Size(), 0u);
    EXPECT_EQ(stream.ReadByte(), 0);
}

TEST(PxFileStream, LongReadsAcrossTheReadAheadMatchTheFile)
{
    TempDir dir;
    std::vector<std::uint8_t> bytes(300000);
    for (size_t i = 0; i < bytes.size(); ++i) {
        bytes[i] = static_cast<std::uint8_t>((i * 31) ^ (i >> 9));
    }
    const std::string path = dir.Write("long", bytes);
    PxFileStream stream;
    ASSERT_EQ(stream.Open(path.c_str()), 0);
    // Mix single bytes, short reads and a read larger than the read-ahead.
    EXPECT_EQ(stream.ReadByte(), bytes[0]);
    std::vector<std::uint8_t> part(70000);
    ASSERT_EQ(stream.Read(part.data(), 1000), 0);
    EXPECT_EQ(std::memcmp(part.data(), &bytes[1], 1000), 0);
    ASSERT_EQ(stream.Read(part.data(), 70000), 0);
    EXPECT_EQ(std::memcmp(part.data(), &bytes[1001], 70000), 0);
    stream.Skip(100000);
    EXPECT_EQ(stream.ReadByte(), bytes[171001]);
    const std::uint8_t* block = stream.ReadBlock(128998);
    ASSERT_NE(block, nullptr);
    EXPECT_EQ(std::memcmp(block, &bytes[171002], 128998), 0);
}

}  // namespace

}  // namespace brelvix
