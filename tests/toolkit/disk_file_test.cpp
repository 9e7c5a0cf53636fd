// DiskFile: temporary files, open failures, seeking, reading and writing, buffered small reads.
#include "toolkit/disk_file.h"

#include <cstdio>
#include <gtest/gtest.h>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

using namespace velmora;

namespace {

bool Exists(const std::string& path)
{
    struct stat info;
    return ::stat(path.c_str(), &info) == 0;
}

std::string MakeFile(const std::string& name, size_t size)
{
    const std::string path = std::string(DiskFile::TempFolder()) + "/velmora-core-" + name;
    FILE* f = std::fopen(path.c_str(), "wb");
    for (size_t i = 0; i < size; ++i)
        std::fputc(static_cast<int>(i * 7 & 0xFF), f);
    std::fclose(f);
    return path;
}

} // namespace

TEST(DiskFileTest, TemporaryFileHasPrefixAndVanishes)
{
    DiskFile file;
    ASSERT_EQ(file.Open(nullptr, 0x1F), SUCCESS);
    const std::string path = file.Path();
    EXPECT_EQ(path.rfind(std::string(DiskFile::TempFolder()) + "/SDK", 0), 0u) << path;
    EXPECT_EQ(file.Seek(2, 0), 0);
    EXPECT_TRUE(file.Write("abcd", 4));
    EXPECT_EQ(file.Seek(0, 1), 1);
    char c = 0;
    EXPECT_EQ(file.Read(&c, 1), 1u);
    EXPECT_EQ(c, 'b');
    file.Close();
    EXPECT_FALSE(Exists(path));
    EXPECT_FALSE(file.IsOpen());
}

TEST(DiskFileTest, MissingFileAndDirectoryAreRefused)
{
    DiskFile file;
    const std::string missing = std::string(DiskFile::TempFolder()) + "/velmora-core-missing-file";
    EXPECT_EQ(file.Open(missing.c_str(), FILE_READ), ERROR_FILE_OPEN);
    EXPECT_FALSE(file.IsOpen());
    EXPECT_FALSE(Exists(missing));
    EXPECT_EQ(file.Open(DiskFile::TempFolder(), FILE_READ), ERROR_FILE_OPEN);
    EXPECT_EQ(file.Open(nullptr, FILE_READ), ERROR_GENERAL_PARAMETER);
}

TEST(DiskFileTest, ReadingRefusesFifosAndDevicesWithoutWaiting)
{
    // A FIFO without a writer would block open() forever; /dev/zero would never end.
    const std::string fifo
        = std::string(DiskFile::TempFolder()) + "/velmora-core-fifo-" + std::to_string(::getpid());
    ::unlink(fifo.c_str());
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    const std::string link = fifo + "-zero";
    ::unlink(link.c_str());
    ASSERT_EQ(::symlink("/dev/zero", link.c_str()), 0);
    DiskFile file;
    for (const std::string& path : { fifo, link, std::string("/dev/zero") }) {
        EXPECT_EQ(file.Open(path.c_str(), FILE_READ), ERROR_FILE_OPEN) << path;
        EXPECT_FALSE(file.IsOpen());
    }
    // A symlink to a regular file is still read.
    const std::string target = MakeFile("link-target", 10);
    ::unlink(link.c_str());
    ASSERT_EQ(::symlink(target.c_str(), link.c_str()), 0);
    EXPECT_EQ(file.Open(link.c_str(), FILE_READ), SUCCESS);
    file.Close();
    ::unlink(link.c_str());
    ::unlink(fifo.c_str());
    ::unlink(target.c_str());
}

TEST(DiskFileTest, SeekReadAndWriteConventions)
{
    const std::string path = MakeFile("seek", 1000);
    DiskFile file;
    ASSERT_EQ(file.Open(path.c_str(), FILE_READ), SUCCESS);
    EXPECT_EQ(file.Seek(2, 0), 1000);
    uint8_t buffer[16];
    EXPECT_EQ(file.Read(buffer, sizeof buffer), 0u); // at the end
    EXPECT_EQ(file.Seek(0, 10), 10);
    EXPECT_EQ(file.Seek(3, 0), 0);
    EXPECT_EQ(file.Seek(1, 0), 10); // unchanged by the bad origin
    EXPECT_EQ(file.Read(buffer, 4), 4u);
    EXPECT_EQ(buffer[0], static_cast<uint8_t>(70));
    EXPECT_EQ(file.Seek(0, 5000), 5000); // past the end is allowed
    EXPECT_EQ(file.Read(buffer, 4), 0u);
    EXPECT_EQ(file.Seek(1, -6000), -1);
    EXPECT_EQ(file.Read(nullptr, 4), 0u);
    file.Close();
    EXPECT_FALSE(file.Write("x", 1));
    EXPECT_EQ(file.Seek(0, 0), 0);
    ASSERT_EQ(file.Open(path.c_str(), FILE_CREATE | FILE_WRITE), SUCCESS);
    EXPECT_TRUE(file.Write(nullptr, 0));
    EXPECT_TRUE(file.Write("xyz", 3));
    EXPECT_EQ(file.Seek(2, 0), 3);
    file.Close();
    ::unlink(path.c_str());
}

TEST(DiskFileTest, SmallReadsAndSeeksAreBuffered)
{
    const size_t size = 64 * 1024;
    const std::string path = MakeFile("buffered", size);
    DiskFile file;
    ASSERT_EQ(file.Open(path.c_str(), FILE_READ), SUCCESS);
    uint8_t piece[13];
    uint64_t total = 0;
    int64_t position = 0;
    // 13-byte reads with short hops forward, as the parser does over small values.
    while (file.Read(piece, sizeof piece) == sizeof piece) {
        total += sizeof piece;
        position += 13 + 20;
        file.Seek(0, position);
    }
    EXPECT_GT(total, 1000u);
    EXPECT_LE(file.SystemReads(), size / 4096 + 2);
    // Contents are right after buffering.
    file.Seek(0, 4095);
    ASSERT_EQ(file.Read(piece, 2), 2u);
    EXPECT_EQ(piece[0], static_cast<uint8_t>(4095 * 7 & 0xFF));
    EXPECT_EQ(piece[1], static_cast<uint8_t>(4096 * 7 & 0xFF));
    std::vector<uint8_t> all(size);
    file.Seek(0, 0);
    EXPECT_EQ(file.Read(all.data(), size), size);
    for (size_t i = 0; i < size; i += 997)
        EXPECT_EQ(all[i], static_cast<uint8_t>(i * 7 & 0xFF));
    file.Close();
    ::unlink(path.c_str());
}

TEST(DiskFileTest, WriteThenReadSeesNewBytes)
{
    DiskFile file;
    ASSERT_EQ(file.Open(nullptr, 0x1F), SUCCESS);
    ASSERT_TRUE(file.Write("0123456789", 10));
    char buffer[4] = {};
    file.Seek(0, 2);
    ASSERT_EQ(file.Read(buffer, 2), 2u); // fills the read buffer
    file.Seek(0, 2);
    ASSERT_TRUE(file.Write("ab", 2));
    file.Seek(0, 1);
    ASSERT_EQ(file.Read(buffer, 3), 3u);
    EXPECT_EQ(std::string(buffer, 3), "1ab");
}
