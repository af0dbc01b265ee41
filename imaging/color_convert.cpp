#include "color_convert.h"

#include <algorithm>
#include <list>
#include <memory>
#include <mutex>
#include <vector>

#include "lcms_handles.h"
#include "parallel.h"

namespace brelvix {

namespace {

// Transforms kept for reuse. A viewer meets few profiles (sRGB, Display P3,
// Adobe RGB, a camera's) and one or two targets, so a handful covers them.
constexpr std::size_t kCachedTransforms = 8;

// Pictures below this many pixels are converted on the calling thread.
constexpr std::int64_t kPixelsPerBand = std::int64_t{1} << 18;

// How the store's pixels look to lcms2: blue, green, red. Grey pictures
// repeat the grey value, so a grey profile reads the first of the three
// bytes and passes over the other two.
constexpr cmsUInt32Number kStoreFormat = TYPE_BGR_8;
constexpr cmsUInt32Number kGreyInStoreFormat = COLORSPACE_SH(PT_GRAY) | CHANNELS_SH(1) | BYTES_SH(1) | EXTRA_SH(2);

// One side of a transform: sRGB, or the bytes of a profile.
struct Side {
    bool srgb = false;
    std::vector<std::uint8_t> icc;

    bool operator==(const Side&) const = default;
};

Side SideOf(const PxColorProfile& profile)
{
    Side side;
    // A profile that means sRGB converts like sRGB itself, which makes
    // it share one cached transform with every other name for sRGB.
    side.srgb = profile.srgb || profile.icc.empty();
    if (!side.srgb) {
        side.icc = profile.icc;
    }
    return side;
}

PxLcmsProfile OpenSide(const Side& side)
{
    if (side.srgb) {
        return PxLcmsProfile(cmsCreate_sRGBProfile());
    }
    return PxLcmsProfile(cmsOpenProfileFromMem(side.icc.data(), static_cast<cmsUInt32Number>(side.icc.size())));
}

struct Transform {
    PxLcmsTransform handle;     // null when lcms2 could not make one
    cmsUInt32Number input = 0;  // what it reads: the store's bytes or CMYK samples
};

class TransformCache {
public:
    // The transform from `source` to `target`, made and kept when it is not
    // kept yet. Never null; its handle is null when the profiles cannot be
    // used together (that is kept as well, so it is not tried again).
    std::shared_ptr<const Transform> Get(const Side& source, const Side& target)
    {
        {
            const std::lock_guard<std::mutex> lock(mutex);
            if (auto found = Find(source, target)) {
                return found;
            }
        }
        // Made outside the lock: another picture's conversion need not wait
        // for it. Two threads making the same one keep the first.
        auto made = std::make_shared<Transform>(Make(source, target));
        const std::lock_guard<std::mutex> lock(mutex);
        if (auto found = Find(source, target)) {
            return found;
        }
        entries.push_front(Entry{source, target, made});
        if (entries.size() > kCachedTransforms) {
            entries.pop_back();
        }
        return made;
    }

private:
    struct Entry {
        Side source;
        Side target;
        std::shared_ptr<const Transform> transform;
    };

    // Moves a hit to the front, where the least recently used is last.
    std::shared_ptr<const Transform> Find(const Side& source, const Side& target)
    {
        for (auto entry = entries.begin(); entry != entries.end(); ++entry) {
            if (entry->source == source && entry->target == target) {
                entries.splice(entries.begin(), entries, entry);
                return entries.front().transform;
            }
        }
        return nullptr;
    }

    static Transform Make(const Side& source, const Side& target)
    {
        Transform result;
        const PxLcmsProfile from = OpenSide(source);
        const PxLcmsProfile to = OpenSide(target);
        if (from == nullptr || to == nullptr || cmsGetColorSpace(to.get()) != cmsSigRgbData) {
            return result;
        }
        switch (cmsGetColorSpace(from.get())) {
            case cmsSigRgbData:
                result.input = kStoreFormat;
                break;
            case cmsSigGrayData:
                result.input = kGreyInStoreFormat;
                break;
            case cmsSigCmykData:
                result.input = TYPE_CMYK_8;
                break;
            default:
                return result;
        }
        result.handle.reset(cmsCreateTransform(from.get(), result.input, to.get(), kStoreFormat, kPxIntent, 0));
        return result;
    }

    std::mutex mutex;
    std::list<Entry> entries;
};

TransformCache& Cache()
{
    static TransformCache cache;
    return cache;
}

}  // namespace

int PxConvertColors(PxBitmap& bitmap, const PxColorProfile& target)
{
    PxPictureMeta& meta = bitmap.Meta();
    if (bitmap.Pixels() == nullptr || meta.colorsConverted) {
        return 0;
    }
    const Side source = SideOf(meta.profile);
    const Side into = SideOf(target);
    if (source == into) {
        meta.cmyk.reset();
        meta.colorsConverted = true;
        return 0;
    }
    const std::shared_ptr<const Transform> transform = Cache().Get(source, into);
    const std::int64_t width = bitmap.Width();
    const std::int64_t height = bitmap.Height();
    const bool fromCmyk = transform->input == TYPE_CMYK_8;
    if (transform->handle == nullptr || (fromCmyk && !meta.cmyk)) {
        meta.cmyk.reset();
        return 1;
    }
    const std::uint8_t* input = fromCmyk ? meta.cmyk.get() : bitmap.Pixels();
    const std::int64_t inputStride = fromCmyk ? 4 * width : bitmap.Stride();
    const std::int64_t stride = bitmap.Stride();
    const int bands = static_cast<int>(std::clamp<std::int64_t>(width * height / kPixelsPerBand, 1, PxWorkerCount()));
    // Rows are independent, and lcms2's transforms may be used by several
    // threads at once; each band reads and writes its own rows in place.
    PxRunInParallel(bands, [&](int band) {
        const std::int64_t first = height * band / bands;
        const std::int64_t end = height * (band + 1) / bands;
        if (end > first) {
            cmsDoTransformLineStride(
                transform->handle.get(), input + first * inputStride, bitmap.Pixels() + first * stride,
                static_cast<cmsUInt32Number>(width), static_cast<cmsUInt32Number>(end - first),
                static_cast<cmsUInt32Number>(inputStride), static_cast<cmsUInt32Number>(stride), 0, 0);
        }
    });
    meta.cmyk.reset();
    meta.colorsConverted = true;
    return 0;
}

}  // namespace brelvix
