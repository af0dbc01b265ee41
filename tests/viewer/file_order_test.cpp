#include "viewer/file_order.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <ctime>
#include <future>
#include <random>

#include "support/exif_writer.h"
#include "support/jpeg_writer.h"
#include "support/temp_dir.h"
#include "viewer/file_list.h"

namespace brelvix {

namespace {

// Seconds since the epoch of a moment of the local wall clock.
time_t Local(int year, int month, int day, int hour)
{
    struct tm moment {};
    moment.tm_year = year - 1900;
    moment.tm_mon = month - 1;
    moment.tm_mday = day;
    moment.tm_hour = hour;
    moment.tm_isdst = -1;
    return mktime(&moment);
}

// A folder of pictures with chosen sizes, modification times and dates taken.
class FileOrder : public ::testing::Test {
protected:
    FileOrder()
    {
        // name, size, modified, date taken (empty: none)
        Add("a.jpg", 300, Local(2023, 6, 1, 12), "2020:01:01 12:00:00");
        Add("b.jpg", 100, Local(2021, 1, 1, 12), "");
        Add("c.jpg", 200, Local(2020, 1, 1, 12), "2019:05:05 08:00:00");
        Add("d.jpg", 100, Local(2019, 1, 1, 12), "2020:01:01 12:00:00");
        Add("img10.jpg", 400, Local(2020, 1, 1, 13), "");
        Add("img2.jpg", 500, Local(2021, 1, 1, 12), "1999:12:31 23:59:59");
    }

    void Add(const std::string& name, std::size_t size, time_t modified, const std::string& taken)
    {
        ExifDirectories directories;
        directories.exif = {ExifText(0x9003, taken)};
        std::vector<std::uint8_t> file = EncodeJpeg(4, 4, std::vector<std::uint8_t>(48, 128));
        if (!taken.empty()) {
            file = JpegWithExif(file, MakeExifBlock(directories));
        }
        file.resize(1000 + size);  // JPEG readers stop at the end marker
        const std::string path = folder.Write(name, file);
        const struct timespec times[2] = {{modified, 0}, {modified, 0}};
        EXPECT_EQ(utimensat(AT_FDCWD, path.c_str(), times, 0), 0);
        files.push_back(path);
    }

    std::vector<std::string> Names(const std::vector<std::string>& paths) const
    {
        std::vector<std::string> names;
        for (const std::string& path : paths) {
            names.push_back(path.substr(path.rfind('/') + 1));
        }
        return names;
    }

    std::vector<std::string> Ordered(SortOrder order, bool reverse, const std::vector<std::string>& list)
    {
        std::vector<FileSortKey> keys;
        const std::atomic<bool> cancel{false};
        EXPECT_TRUE(ReadSortKeys(list, order, cancel, &keys));
        return Names(OrderFiles(list, keys, order, reverse, 0).files);
    }

    TempDir folder;
    std::vector<std::string> files;
};

TEST_F(FileOrder, EveryOrderEitherWayWithTiesInNameOrder)
{
    using Names = std::vector<std::string>;
    const struct {
        SortOrder order;
        Names expected;
    } cases[] = {
        {SortOrder::Name, {"a.jpg", "b.jpg", "c.jpg", "d.jpg", "img2.jpg", "img10.jpg"}},
        // b and img10 have no date taken: their modification dates stand in.
        {SortOrder::DateTaken, {"img2.jpg", "c.jpg", "a.jpg", "d.jpg", "img10.jpg", "b.jpg"}},
        {SortOrder::DateModified, {"d.jpg", "c.jpg", "img10.jpg", "b.jpg", "img2.jpg", "a.jpg"}},
        {SortOrder::Size, {"b.jpg", "d.jpg", "c.jpg", "a.jpg", "img10.jpg", "img2.jpg"}},
    };
    // Shuffled, so that the input order cannot decide.
    std::vector<std::string> shuffled = files;
    std::shuffle(shuffled.begin(), shuffled.end(), std::mt19937(7));
    for (const auto& c : cases) {
        EXPECT_EQ(Ordered(c.order, false, shuffled), c.expected) << static_cast<int>(c.order);
        Names reversed = c.expected;
        std::reverse(reversed.begin(), reversed.end());
        EXPECT_EQ(Ordered(c.order, true, shuffled), reversed) << static_cast<int>(c.order);
    }
}

TEST_F(FileOrder, TheCurrentPictureIsFollowedAndVanishedFilesComeLast)
{
    files.push_back((folder.Path() / "0gone.jpg").string());
    std::vector<FileSortKey> keys;
    const std::atomic<bool> cancel{false};
    ASSERT_TRUE(ReadSortKeys(files, SortOrder::Size, cancel, &keys));
    for (const bool reverse : {false, true}) {
        // c.jpg stands at 2 in the name order.
        const OrderedFiles ordered = OrderFiles(files, keys, SortOrder::Size, reverse, 2);
        ASSERT_EQ(ordered.files.size(), 7u);
        EXPECT_EQ(Names({ordered.files.back()}), std::vector<std::string>{"0gone.jpg"});
        EXPECT_EQ(ordered.currentIndex, reverse ? 3 : 2);
        EXPECT_EQ(Names({ordered.files[ordered.currentIndex]}), std::vector<std::string>{"c.jpg"});
        EXPECT_EQ(ordered.keys[ordered.currentIndex].size, 1200);
    }
    // A position outside the list stays outside.
    EXPECT_EQ(OrderFiles(files, keys, SortOrder::Size, false, -1).currentIndex, 7);
    // Keys of another list are not used.
    EXPECT_EQ(OrderFiles(files, {}, SortOrder::Size, false, 0).files[0], files.back());
}

TEST_F(FileOrder, TheReaderDeliversTheListWithItsKeys)
{
    std::promise<std::pair<std::vector<std::string>, std::vector<FileSortKey>>> read;
    SortKeyReader reader;
    reader.Start(files, SortOrder::Size, [&read](std::vector<std::string> list, std::vector<FileSortKey> keys) {
        read.set_value({std::move(list), std::move(keys)});
    });
    const auto [list, keys] = read.get_future().get();
    EXPECT_EQ(list, files);
    EXPECT_EQ(Names(OrderFiles(list, keys, SortOrder::Size, false, 0).files),
              (std::vector<std::string>{"b.jpg", "d.jpg", "c.jpg", "a.jpg", "img10.jpg", "img2.jpg"}));
    // Reading stops when cancelled, before the first file.
    std::vector<FileSortKey> none;
    EXPECT_FALSE(ReadSortKeys(files, SortOrder::DateTaken, std::atomic<bool>{true}, &none));
    EXPECT_TRUE(none.empty());
}

TEST(ComparePathsNaturally, GivesTheScanOrderWithSubfolders)
{
    TempDir folder;
    for (const char* name : {"x.jpg", "S/y.jpg", "S/z.jpg", "S-1.jpg", "s0.jpg", "img10.jpg", "img2/a.jpg", "T/U/v.jpg",
                             "T.jpg", "a b.jpg", "a.jpg", "A.JPG"}) {
        folder.Write(name, "");
    }
    FileList list;
    ASSERT_TRUE(list.ScanFolder(folder.Path().string(), true));
    ASSERT_EQ(list.Entries().size(), 12u);
    std::vector<std::string> shuffled = list.Entries();
    std::shuffle(shuffled.begin(), shuffled.end(), std::mt19937(3));
    EXPECT_EQ(OrderFiles(shuffled, {}, SortOrder::Name, false, 0).files, list.Entries());
}

}  // namespace

}  // namespace brelvix
