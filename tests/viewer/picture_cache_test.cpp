#include "viewer/picture_cache.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <string>
#include <vector>

#include "support/bmp_writer.h"
#include "support/sample_picture.h"
#include "support/temp_dir.h"
#include "view_fakes.h"

namespace brelvix {

namespace {

std::vector<std::uint8_t> Bmp(int width, int height)
{
    return EncodeBmp(RenderSamplePicture(width, height), BmpKind::Rgb24);
}

std::vector<std::uint8_t> StoreOf(const PxBitmap& bitmap)
{
    if (bitmap.Pixels() == nullptr) {
        return {};
    }
    return std::vector<std::uint8_t>(bitmap.Pixels(), bitmap.Pixels() + bitmap.Stride() * bitmap.Height());
}

std::vector<std::uint8_t> FreshStore(const std::string& path)
{
    PxBitmap bitmap;
    bitmap.CreateFromFile(path.c_str());
    return StoreOf(bitmap);
}

TEST(PictureCache, HandsOutThePictureOnceAndOnlyForItsPath)
{
    TempDir dir;
    const std::string a = dir.Write("a.bmp", Bmp(40, 30));
    const std::string b = dir.Write("b.bmp", Bmp(30, 40));
    const std::string broken = dir.Write("broken.bmp", std::string("BM not a picture"));

    PictureCache cache;
    cache.Prefetch(a);
    int result = -1;
    platform::FileIdentity identity;
    auto taken = cache.Take(a, &result, &identity);
    ASSERT_NE(taken, nullptr);
    EXPECT_EQ(result, 0);
    EXPECT_EQ(identity, platform::IdentityOf(a));
    EXPECT_EQ(StoreOf(*taken), FreshStore(a));
    EXPECT_EQ(cache.Take(a, &result, &identity), nullptr) << "handed out twice";

    // Both neighbours are decoded at once, and each is handed out for its
    // own path only.
    cache.Prefetch(a);
    cache.Prefetch(b);
    taken = cache.Take(b, &result, &identity);
    ASSERT_NE(taken, nullptr);
    EXPECT_EQ(taken->Width(), 30);
    taken = cache.Take(a, &result, &identity);
    ASSERT_NE(taken, nullptr);
    EXPECT_EQ(taken->Width(), 40);

    // A failed decode is handed out with its result.
    cache.Prefetch(broken);
    taken = cache.Take(broken, &result, &identity);
    ASSERT_NE(taken, nullptr);
    EXPECT_EQ(result, 1);

    EXPECT_EQ(cache.Take(dir.Path().string() + "/missing.bmp", &result, &identity), nullptr);
}

// Decoded ahead of time, then handed to the view, as the program's first
// picture is.
void DecodeAhead(ImageView& view, const std::string& path)
{
    PictureCache early;
    early.Prefetch(path);
    early.Wait();
    view.AdoptDecodes(std::move(early));
}

TEST(PictureCache, FileChangedAfterTheDecodeIsLoadedAgain)
{
    TempDir dir;
    const std::string path = dir.Write("p.bmp", Bmp(40, 30));
    const std::string other = dir.Write("other.bmp", Bmp(40, 30));
    ViewFixture f;
    const ImageDocument& document = f.view.Document();

    // Rewritten in place with another size.
    DecodeAhead(f.view, path);
    dir.Write("p.bmp", Bmp(20, 10));
    f.view.OpenImage(path, false);
    ASSERT_TRUE(document.Loaded());
    EXPECT_EQ(document.Decoded()->Width(), 20);

    // Replaced by another file of the same size and a different picture.
    const std::string replacement =
        dir.Write("replacement.bmp", EncodeBmp(RenderSamplePicture(20, 10), BmpKind::Palette1));
    DecodeAhead(f.view, path);
    ASSERT_EQ(std::rename(replacement.c_str(), path.c_str()), 0);
    f.view.OpenImage(path, false);
    ASSERT_TRUE(document.Loaded());
    EXPECT_EQ(StoreOf(*document.Decoded()), FreshStore(path));

    // Deleted: the load fails as it would without a prefetch.
    DecodeAhead(f.view, other);
    ASSERT_EQ(std::remove(other.c_str()), 0);
    f.view.OpenImage(other, false);
    EXPECT_FALSE(document.Loaded());
    EXPECT_EQ(document.Decoded()->Width(), 0);

    // A picture that was on screen and then rewritten in place: going back
    // to it shows the new contents.
    f.view.OpenImage(path, false);
    f.view.OpenImage(dir.Write("third.bmp", Bmp(8, 8)), false);
    ASSERT_TRUE(document.Loaded());
    ASSERT_TRUE(f.view.Navigation().Cache().Holds(path));
    dir.Write("p.bmp", Bmp(12, 9));
    f.view.OpenImage(path, false);
    ASSERT_TRUE(document.Loaded());
    EXPECT_EQ(document.Decoded()->Width(), 12);
    EXPECT_EQ(StoreOf(*document.Decoded()), FreshStore(path));
}

TEST(PictureCache, BrowsingBothWaysShowsEveryPictureAsALoadWould)
{
    TempDir dir;
    const std::vector<std::string> paths = {dir.Write("1.bmp", Bmp(40, 30)), dir.Write("2.bmp", Bmp(31, 17)),
                                            dir.Write("3.bmp", std::string("BM broken")),
                                            dir.Write("4.bmp", Bmp(17, 31))};

    ViewFixture f;
    ASSERT_TRUE(f.view.OpenImage(paths[0], true));
    ASSERT_EQ(f.view.Navigation().Files().Entries(), paths);
    // next, next, next, wrap to the first, back to the last, back again
    const int expected[] = {1, 2, 3, 0, 3, 2, 1};
    for (int step = 0; step < 7; ++step) {
        if (step < 4) {
            f.view.ShowNext();
        } else {
            f.view.ShowPrevious();
        }
        const std::string& path = paths[static_cast<std::size_t>(expected[step])];
        SCOPED_TRACE(path);
        ASSERT_EQ(f.view.Document().Path(), path);
        PxBitmap fresh;
        const bool loads = fresh.CreateFromFile(path.c_str()) == 0;
        EXPECT_EQ(f.view.Document().Loaded(), loads);
        EXPECT_EQ(StoreOf(*f.view.Document().Decoded()), StoreOf(fresh));
        if (loads) {
            // At 100 % the working copy is the decoded picture again.
            EXPECT_EQ(StoreOf(*WholeWorkingCopy(f.view.Document())), StoreOf(fresh));
        }
    }
}

TEST(PictureCache, PipeNamedLikeAPictureNeitherHangsNorStopsTheWalk)
{
    // A named pipe without a writer among the pictures: neither the decode
    // ahead of time nor the step onto it may wait for a writer.
    TempDir dir;
    const std::string first = dir.Write("1.bmp", Bmp(40, 30));
    const std::string pipe = (dir.Path() / "2.bmp").string();
    ASSERT_EQ(::mkfifo(pipe.c_str(), 0600), 0);
    const std::string last = dir.Write("3.bmp", Bmp(17, 31));

    ViewFixture f;
    ASSERT_TRUE(f.view.OpenImage(first, true));
    ASSERT_EQ(f.view.Navigation().Files().Entries().size(), 3u);
    f.view.ShowNext();
    EXPECT_EQ(f.view.Document().Path(), pipe);
    EXPECT_FALSE(f.view.Document().Loaded());
    f.view.ShowNext();
    EXPECT_EQ(f.view.Document().Path(), last);
    EXPECT_TRUE(f.view.Document().Loaded());
}

// Right, Left, Right: each picture comes back as the very picture that was
// on screen, not decoded again.
TEST(PictureCache, BackAndForthShowsEachPictureWithoutDecodingItAgain)
{
    TempDir dir;
    for (const char* name : {"1.bmp", "2.bmp", "3.bmp", "4.bmp"}) {
        dir.Write(name, Bmp(40, 30));
    }
    ViewFixture f;
    ASSERT_TRUE(f.view.OpenImage(dir.Path().string() + "/2.bmp", true));
    const PxBitmap* second = f.view.Document().Decoded();
    ASSERT_TRUE(f.view.Navigation().Cache().Holds(dir.Path().string() + "/1.bmp")) << "the neighbour behind";
    ASSERT_TRUE(f.view.Navigation().Cache().Holds(dir.Path().string() + "/3.bmp")) << "the neighbour ahead";
    f.view.ShowNext();
    const PxBitmap* third = f.view.Document().Decoded();
    f.view.ShowPrevious();
    EXPECT_EQ(f.view.Document().Decoded(), second);
    f.view.ShowNext();
    EXPECT_EQ(f.view.Document().Decoded(), third);
    f.view.ShowPrevious();
    f.view.ShowPrevious();
    EXPECT_EQ(f.view.Document().Path(), dir.Path().string() + "/1.bmp");
    EXPECT_TRUE(f.view.Document().Loaded());
}

TEST(PictureCache, KeepsTheLatestPicturesWithinItsBudget)
{
    TempDir dir;
    // 40 x 30: 3600 bytes a store. Room for three, to the byte.
    const std::uint64_t store = 120 * 30;
    PictureCache cache(3 * store);
    std::vector<std::string> paths;
    for (int i = 0; i < 5; ++i) {
        paths.push_back(dir.Write(std::to_string(i) + ".bmp", Bmp(40, 30)));
        auto picture = std::make_unique<PxBitmap>();
        ASSERT_EQ(picture->CreateFromFile(paths.back().c_str()), 0);
        cache.Keep(paths.back(), platform::IdentityOf(paths.back()), std::move(picture), 0);
        EXPECT_LE(cache.HeldBytes(), cache.Budget());
    }
    EXPECT_EQ(cache.HeldBytes(), 3 * store);
    EXPECT_FALSE(cache.Holds(paths[0]));
    EXPECT_FALSE(cache.Holds(paths[1]));
    EXPECT_TRUE(cache.Holds(paths[2]) && cache.Holds(paths[3]) && cache.Holds(paths[4]));

    // Asking for a picture again makes it the latest: it outlives the others.
    cache.Prefetch(paths[2]);
    auto big = std::make_unique<PxBitmap>();
    ASSERT_EQ(big->CreateFromFile(dir.Write("big.bmp", Bmp(40, 60)).c_str()), 0);  // over half the budget
    cache.Keep(dir.Path().string() + "/big.bmp", platform::IdentityOf(dir.Path().string() + "/big.bmp"), std::move(big),
               0);
    EXPECT_FALSE(cache.Holds(dir.Path().string() + "/big.bmp"));
    auto fresh = std::make_unique<PxBitmap>();
    ASSERT_EQ(fresh->CreateFromFile(paths[1].c_str()), 0);
    cache.Keep(paths[1], platform::IdentityOf(paths[1]), std::move(fresh), 0);
    EXPECT_TRUE(cache.Holds(paths[2]));
    EXPECT_FALSE(cache.Holds(paths[3]));

    // By default a quarter of the machine's memory at most.
    const std::uint64_t memory =
        static_cast<std::uint64_t>(sysconf(_SC_PHYS_PAGES)) * static_cast<std::uint64_t>(sysconf(_SC_PAGESIZE));
    EXPECT_LE(PictureCache::DefaultBudget(), memory / 4);
    EXPECT_GT(PictureCache::DefaultBudget(), std::uint64_t{0});
}

// Half the budget is the largest picture kept, to the byte.
TEST(PictureCache, KeepsAPictureOfHalfItsBudget)
{
    TempDir dir;
    const std::string path = dir.Write("p.bmp", Bmp(40, 30));  // a store of 120 x 30 bytes
    const struct {
        std::uint64_t budget;
        bool kept;
    } cases[] = {{7200, true}, {7201, true}, {7199, false}, {3600, false}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.budget);
        PictureCache cache(c.budget);
        EXPECT_EQ(cache.WouldKeep(3600), c.kept);
        auto picture = std::make_unique<PxBitmap>();
        ASSERT_EQ(picture->CreateFromFile(path.c_str()), 0);
        cache.Keep(path, platform::IdentityOf(path), std::move(picture), 0);
        EXPECT_EQ(cache.Holds(path), c.kept);
    }
}

TEST(ImageDocument, WorkingCopyIsTheDecodedPictureUntilItIsTransformed)
{
    TempDir dir;
    const std::string a = dir.Write("a.bmp", Bmp(40, 30));
    const std::string b = dir.Write("b.bmp", Bmp(30, 20));
    ImageDocument document;
    ASSERT_TRUE(document.Load(a, false));
    EXPECT_EQ(document.Display().Width(), 40);
    EXPECT_EQ(document.Display().Height(), 30);
    EXPECT_TRUE(document.WorkingCopyIsDecoded());
    EXPECT_EQ(StoreOf(*WholeWorkingCopy(document)), FreshStore(a));
    document.ApplyZoom(1.0);
    EXPECT_TRUE(document.WorkingCopyIsDecoded());

    // Turned, it is not; four turns give the picture back.
    for (int turn = 1; turn <= 4; ++turn) {
        document.ApplyZoom(1.0);
        document.ApplyRotation((90 * turn) % 360);
        EXPECT_EQ(document.WorkingCopyIsDecoded(), turn == 4);
    }
    EXPECT_EQ(StoreOf(*WholeWorkingCopy(document)), FreshStore(a));

    ASSERT_TRUE(document.Load(b, false));
    EXPECT_EQ(StoreOf(*WholeWorkingCopy(document)), FreshStore(b));

    // A failure has the size the decode left and nothing of the previous
    // picture.
    const std::string broken = dir.Write("broken.bmp", std::string("BM broken"));
    EXPECT_FALSE(document.Load(broken, false));
    EXPECT_EQ(document.Display().Width(), document.Decoded()->Width());
    EXPECT_EQ(document.Display().Height(), document.Decoded()->Height());
    EXPECT_EQ(StoreOf(*WholeWorkingCopy(document)), StoreOf(*document.Decoded()));
    ASSERT_TRUE(document.Load(a, false));
    EXPECT_FALSE(document.Load(dir.Path().string() + "/missing.bmp", false));
    EXPECT_EQ(WholeWorkingCopy(document)->Pixels(), nullptr);
}

}  // namespace

}  // namespace brelvix
