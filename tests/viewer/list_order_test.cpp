// The navigator's list in the chosen order: built by name, ordered once the
// keys are read after the picture shows, the current picture in its place,
// and ordered at once again after every rebuild.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <chrono>
#include <ctime>
#include <thread>

#include "support/exif_writer.h"
#include "support/jpeg_writer.h"
#include "view_fakes.h"

namespace brelvix {

namespace {

using Names = std::vector<std::string>;

class ListOrderTest : public ::testing::Test {
protected:
    ListOrderTest()
    {
        // name, size, modified (hours after a fixed moment), date taken
        Add("a.jpg", 100, 40, "");
        Add("b.jpg", 700, 10, "2001:01:01 10:00:00");
        Add("c.jpg", 300, 20, "");
        Add("d.jpg", 500, 30, "2040:01:01 10:00:00");
        Add("e.jpg", 200, 0, "");
    }

    void Add(const std::string& name, std::size_t size, int hours, const std::string& taken)
    {
        std::vector<std::uint8_t> file = EncodeJpeg(4, 4, std::vector<std::uint8_t>(48, 128));
        if (!taken.empty()) {
            ExifDirectories directories;
            directories.exif = {ExifText(0x9003, taken)};
            file = JpegWithExif(file, MakeExifBlock(directories));
        }
        file.resize(1000 + size);
        const std::string path = folder.Write(name, file);
        const time_t modified = 1654041600 + hours * 3600;
        const struct timespec times[2] = {{modified, 0}, {modified, 0}};
        EXPECT_EQ(utimensat(AT_FDCWD, path.c_str(), times, 0), 0);
    }

    std::string PathOf(const std::string& name) const { return (folder.Path() / name).string(); }

    // More files than the list orders at once, named, dated and sized to
    // come last in every order.
    void AddFiller()
    {
        for (std::size_t i = 0; i <= ListOrder::kReadAtOnce; ++i) {
            Add("z" + std::to_string(10 + i) + ".jpg", 900, 1000, "");
        }
    }

    // The list's names, the filler left out.
    Names Listed() const
    {
        Names names;
        for (const std::string& path : f.view.Navigation().Files().Entries()) {
            const std::string name = path.substr(path.rfind('/') + 1);
            if (name[0] != 'z') {
                names.push_back(name);
            }
        }
        return names;
    }

    // Runs the order's timer until its reading is delivered.
    bool ReadKeys()
    {
        const auto limit = std::chrono::steady_clock::now() + std::chrono::seconds(60);
        while (f.view.Navigation().Order().Reading() && std::chrono::steady_clock::now() < limit) {
            f.view.OnTimer(kListOrderTimerId);
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
        return !f.view.Navigation().Order().Reading() && f.timer.running.count(kListOrderTimerId) == 0;
    }

    // The current picture stands where the list says it does.
    void ExpectCurrent(const std::string& name) const
    {
        const FileList& files = f.view.Navigation().Files();
        EXPECT_EQ(f.view.Document().Path(), PathOf(name));
        ASSERT_TRUE(files.Holds(files.CurrentIndex()));
        EXPECT_EQ(files.Entries()[static_cast<std::size_t>(files.CurrentIndex())], PathOf(name));
    }

    TempDir folder;
    ViewFixture f;
};

// Every order either way round: a folder too big to read at once comes in
// the name order, is put in order once the keys are read (not before the
// timer's first tick, which comes after the picture is painted), and the
// picture opened keeps its place. A folder opened again in another order
// has no keys to go by until they are read.
TEST_F(ListOrderTest, EveryOrderAppliesAfterThePictureShows)
{
    AddFiller();
    const std::size_t filler = ListOrder::kReadAtOnce + 1;
    const Names byName{"a.jpg", "b.jpg", "c.jpg", "d.jpg", "e.jpg"};
    const struct {
        SortOrder order;
        Names expected;
    } cases[] = {
        {SortOrder::Name, byName},
        {SortOrder::DateTaken, {"b.jpg", "e.jpg", "c.jpg", "a.jpg", "d.jpg"}},
        {SortOrder::DateModified, {"e.jpg", "b.jpg", "c.jpg", "d.jpg", "a.jpg"}},
        {SortOrder::Size, {"a.jpg", "e.jpg", "c.jpg", "d.jpg", "b.jpg"}},
    };
    for (const auto& c : cases) {
        for (const bool reverse : {false, true}) {
            SCOPED_TRACE(std::to_string(int(c.order)) + (reverse ? " reversed" : ""));
            f.Set(&ViewerSettings::sortOrder, static_cast<std::int32_t>(c.order));
            f.Set(&ViewerSettings::sortReverse, reverse);
            ASSERT_TRUE(f.view.OpenImage(PathOf("c.jpg"), true));
            ASSERT_TRUE(f.view.Document().Loaded());
            Names expected = c.expected;
            if (reverse) {
                std::reverse(expected.begin(), expected.end());
            }
            if (c.order != SortOrder::Name) {
                // Turned round, the keys of the reading before apply at once;
                // they are read again all the same, as the files may have
                // changed.
                if (reverse) {
                    EXPECT_EQ(Listed(), expected);
                } else {
                    EXPECT_EQ(Listed(), byName) << "ordered before the picture showed";
                    EXPECT_EQ(f.view.Navigation().Files().CurrentIndex(), 2);
                }
                EXPECT_TRUE(f.view.Navigation().Order().ReadingDue());
            }
            ASSERT_TRUE(ReadKeys());
            EXPECT_EQ(Listed(), expected);
            ExpectCurrent("c.jpg");
            const std::size_t at =
                static_cast<std::size_t>(std::find(expected.begin(), expected.end(), "c.jpg") - expected.begin()) +
                (reverse ? filler : 0);
            const std::string position = " File " + std::to_string(at + 1) + " of " + std::to_string(5 + filler) + " ";
            EXPECT_NE(f.frame.status.find(position), std::string::npos) << f.frame.status;
        }
    }
}

// A small folder is ordered at once. A list built anew (refresh, delete)
// comes in the chosen order at once from the keys read before; turning the order round needs no reading at all,
// and another order is read anew.
TEST_F(ListOrderTest, RebuiltListsKeepTheOrderAtOnce)
{
    f.Set(&ViewerSettings::sortOrder, static_cast<std::int32_t>(SortOrder::DateModified));
    ASSERT_TRUE(f.view.OpenImage(PathOf("c.jpg"), true));
    const Names byDate{"e.jpg", "b.jpg", "c.jpg", "d.jpg", "a.jpg"};
    EXPECT_EQ(Listed(), byDate);
    ExpectCurrent("c.jpg");
    ASSERT_TRUE(ReadKeys());
    ASSERT_EQ(Listed(), byDate);

    f.view.RefreshFileList();
    EXPECT_EQ(Listed(), byDate);
    ExpectCurrent("c.jpg");

    f.view.DeleteCurrentFile();
    EXPECT_EQ(Listed(), (Names{"e.jpg", "b.jpg", "d.jpg", "a.jpg"}));
    ExpectCurrent("d.jpg");
    f.view.ShowNext();
    ExpectCurrent("a.jpg");

    f.Set(&ViewerSettings::sortReverse, true);
    EXPECT_FALSE(f.view.Navigation().Order().Reading());
    EXPECT_EQ(Listed(), (Names{"a.jpg", "d.jpg", "b.jpg", "e.jpg"}));
    ExpectCurrent("a.jpg");

    f.Set(&ViewerSettings::sortOrder, static_cast<std::int32_t>(SortOrder::Size));
    EXPECT_TRUE(f.view.Navigation().Order().ReadingDue());
    ASSERT_TRUE(ReadKeys());
    EXPECT_EQ(Listed(), (Names{"b.jpg", "d.jpg", "e.jpg", "a.jpg"}));
    ExpectCurrent("a.jpg");
}

}  // namespace

}  // namespace brelvix
