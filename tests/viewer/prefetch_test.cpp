#include "viewer/prefetch.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

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

TEST(Prefetch, HandsOutThePictureOnceAndOnlyForItsPath)
{
    TempDir dir;
    const std::string a = dir.Write("a.bmp", Bmp(40, 30));
    const std::string b = dir.Write("b.bmp", Bmp(30, 40));
    const std::string broken = dir.Write("broken.bmp", std::string("BM not a picture"));

    PicturePrefetch prefetch;
    prefetch.Start(a);
    int result = -1;
    auto taken = prefetch.Take(a, &result);
    ASSERT_NE(taken, nullptr);
    EXPECT_EQ(result, 0);
    EXPECT_EQ(StoreOf(*taken), FreshStore(a));
    EXPECT_EQ(prefetch.Take(a, &result), nullptr) << "handed out twice";

    // A newer prefetch drops the older one.
    prefetch.Start(a);
    prefetch.Start(b);
    EXPECT_EQ(prefetch.Take(a, &result), nullptr);
    // That also dropped b; once the dropped decodes are over, b starts again.
    prefetch.Wait();
    prefetch.Start(b);
    taken = prefetch.Take(b, &result);
    ASSERT_NE(taken, nullptr);
    EXPECT_EQ(taken->Width(), 30);

    // A failed decode is handed out with its result.
    prefetch.Start(broken);
    taken = prefetch.Take(broken, &result);
    ASSERT_NE(taken, nullptr);
    EXPECT_EQ(result, 1);

    EXPECT_EQ(prefetch.Take(dir.Path().string() + "/missing.bmp", &result), nullptr);
}

TEST(Prefetch, FileChangedAfterTheDecodeIsLoadedAgain)
{
    TempDir dir;
    const std::string path = dir.Write("p.bmp", Bmp(40, 30));
    const std::string other = dir.Write("other.bmp", Bmp(40, 30));

    // Rewritten in place with another size.
    ImageDocument document;
    document.prefetch.Start(path);
    document.prefetch.Wait();
    dir.Write("p.bmp", Bmp(20, 10));
    ASSERT_TRUE(document.Load(path));
    EXPECT_EQ(document.decoded->Width(), 20);

    // Replaced by another file of the same size and a different picture.
    const std::string replacement =
        dir.Write("replacement.bmp", EncodeBmp(RenderSamplePicture(20, 10), BmpKind::Palette1));
    document.prefetch.Start(path);
    document.prefetch.Wait();
    ASSERT_EQ(std::rename(replacement.c_str(), path.c_str()), 0);
    ASSERT_TRUE(document.Load(path));
    EXPECT_EQ(StoreOf(*document.decoded), FreshStore(path));

    // Deleted: the load fails as it would without a prefetch.
    document.prefetch.Start(other);
    document.prefetch.Wait();
    ASSERT_EQ(std::remove(other.c_str()), 0);
    EXPECT_FALSE(document.Load(other));
    EXPECT_EQ(document.decoded->Width(), 0);
}

TEST(Prefetch, BrowsingBothWaysShowsEveryPictureAsALoadWould)
{
    TempDir dir;
    const std::vector<std::string> paths = {dir.Write("1.bmp", Bmp(40, 30)), dir.Write("2.bmp", Bmp(31, 17)),
                                            dir.Write("3.bmp", std::string("BM broken")),
                                            dir.Write("4.bmp", Bmp(17, 31))};

    ViewFixture f;
    ASSERT_TRUE(f.view.OpenImage(paths[0], true));
    ASSERT_EQ(f.view.document.fileList, paths);
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
        ASSERT_EQ(f.view.document.path, path);
        PxBitmap fresh;
        const bool loads = fresh.CreateFromFile(path.c_str()) == 0;
        EXPECT_EQ(f.view.document.loaded, loads);
        EXPECT_EQ(StoreOf(*f.view.document.decoded), StoreOf(fresh));
        if (loads) {
            // At 100 % the working copy is the decoded picture again.
            EXPECT_EQ(StoreOf(*WholeWorkingCopy(f.view.document)), StoreOf(fresh));
        }
    }
}

TEST(Prefetch, PipeNamedLikeAPictureNeitherHangsNorStopsTheWalk)
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
    ASSERT_EQ(f.view.document.fileList.size(), 3u);
    f.view.ShowNext();
    EXPECT_EQ(f.view.document.path, pipe);
    EXPECT_FALSE(f.view.document.loaded);
    f.view.ShowNext();
    EXPECT_EQ(f.view.document.path, last);
    EXPECT_TRUE(f.view.document.loaded);
}

TEST(ImageDocument, WorkingCopyIsTheDecodedPictureUntilItIsTransformed)
{
    TempDir dir;
    const std::string a = dir.Write("a.bmp", Bmp(40, 30));
    const std::string b = dir.Write("b.bmp", Bmp(30, 20));
    ImageDocument document;
    ASSERT_TRUE(document.Load(a));
    EXPECT_EQ(document.display.Width(), 40);
    EXPECT_EQ(document.display.Height(), 30);
    EXPECT_TRUE(document.WorkingCopyIsDecoded());
    EXPECT_EQ(StoreOf(*WholeWorkingCopy(document)), FreshStore(a));
    document.ApplyZoom();
    EXPECT_TRUE(document.WorkingCopyIsDecoded());

    // Turned, it is not; four turns give the picture back.
    for (int turn = 1; turn <= 4; ++turn) {
        document.rotation = (90 * turn) % 360;
        document.ApplyZoom();
        document.ApplyRotation();
        EXPECT_EQ(document.WorkingCopyIsDecoded(), turn == 4);
    }
    EXPECT_EQ(StoreOf(*WholeWorkingCopy(document)), FreshStore(a));

    ASSERT_TRUE(document.Load(b));
    EXPECT_EQ(StoreOf(*WholeWorkingCopy(document)), FreshStore(b));

    // A failure has the size the decode left and nothing of the previous
    // picture.
    const std::string broken = dir.Write("broken.bmp", std::string("BM broken"));
    EXPECT_FALSE(document.Load(broken));
    EXPECT_EQ(document.display.Width(), document.decoded->Width());
    EXPECT_EQ(document.display.Height(), document.decoded->Height());
    EXPECT_EQ(StoreOf(*WholeWorkingCopy(document)), StoreOf(*document.decoded));
    ASSERT_TRUE(document.Load(a));
    EXPECT_FALSE(document.Load(dir.Path().string() + "/missing.bmp"));
    EXPECT_EQ(WholeWorkingCopy(document)->Pixels(), nullptr);
}

}  // namespace

}  // namespace brelvix
