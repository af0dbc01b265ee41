#include "color_convert.h"

#include <algorithm>
#include <cmath>
#include <list>
#include <memory>
#include <mutex>
#include <new>
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

// Linear light in 1.14 fixed point, the scale of the fast path's sums.
constexpr int kLinearBits = 14;
constexpr std::int32_t kLinearOne = 1 << kLinearBits;

// Both profiles made of three curves and a matrix (and nothing lcms2 would
// prefer to them), as nearly every photo's and display's profile is:
// stored value -> curve -> linear light -> matrix -> the other profile's
// linear light -> its inverse curve. lcms2's general pipeline costs about
// 20 ns a pixel for that; these tables do it with nine lookups and sums,
// within a step of lcms2's own result.
struct MatrixShaper {
    // Per output channel (blue, green, red, as the store holds them) and
    // input channel, what each input byte adds to the output's linear light.
    std::int32_t terms[3][3][256];
    // Per output channel, linear light 0 .. kLinearOne to the stored byte.
    std::uint8_t encode[3][kLinearOne + 1];
};

struct Transform {
    PxLcmsTransform handle;     // null when lcms2 could not make one
    cmsUInt32Number input = 0;  // what it reads: the store's bytes or CMYK samples
    std::unique_ptr<MatrixShaper> fast;  // when both profiles allow it; `handle` is then unused
};

// The matrix of an RGB or grey profile's colorants (columns red, green,
// blue) and its three curves, when lcms2 would use them for `intent`: no
// table-based tag stands before them. A grey profile is three equal curves
// whose colorants share the white point, which is what three equal bytes
// make of one grey value.
bool ReadMatrixShaper(cmsHPROFILE profile, bool asInput, double matrix[3][3], const cmsToneCurve* curves[3])
{
    const cmsTagSignature tables[] = {asInput ? cmsSigAToB0Tag : cmsSigBToA0Tag,
                                      asInput ? cmsSigAToB1Tag : cmsSigBToA1Tag,
                                      asInput ? cmsSigAToB2Tag : cmsSigBToA2Tag,
                                      asInput ? cmsSigDToB0Tag : cmsSigBToD0Tag};
    for (const cmsTagSignature table : tables) {
        if (cmsIsTag(profile, table)) {
            return false;
        }
    }
    if (cmsGetPCS(profile) != cmsSigXYZData) {
        return false;
    }
    if (asInput && cmsGetColorSpace(profile) == cmsSigGrayData) {
        const auto* grey = static_cast<const cmsToneCurve*>(cmsReadTag(profile, cmsSigGrayTRCTag));
        const cmsCIEXYZ* white = cmsD50_XYZ();
        const double column[3] = {white->X / 3, white->Y / 3, white->Z / 3};
        for (int c = 0; c < 3; ++c) {
            curves[c] = grey;
            for (int row = 0; row < 3; ++row) {
                matrix[row][c] = column[row];
            }
        }
        return grey != nullptr;
    }
    if (cmsGetColorSpace(profile) != cmsSigRgbData || !cmsIsMatrixShaper(profile)) {
        return false;
    }
    const cmsTagSignature colorants[3] = {cmsSigRedColorantTag, cmsSigGreenColorantTag, cmsSigBlueColorantTag};
    const cmsTagSignature trcs[3] = {cmsSigRedTRCTag, cmsSigGreenTRCTag, cmsSigBlueTRCTag};
    for (int c = 0; c < 3; ++c) {
        const auto* xyz = static_cast<const cmsCIEXYZ*>(cmsReadTag(profile, colorants[c]));
        curves[c] = static_cast<const cmsToneCurve*>(cmsReadTag(profile, trcs[c]));
        if (xyz == nullptr || curves[c] == nullptr) {
            return false;
        }
        matrix[0][c] = xyz->X;
        matrix[1][c] = xyz->Y;
        matrix[2][c] = xyz->Z;
    }
    return true;
}

bool Invert(const double m[3][3], double inverse[3][3])
{
    const double det = m[0][0] * (m[1][1] * m[2][2] - m[1][2] * m[2][1]) -
                       m[0][1] * (m[1][0] * m[2][2] - m[1][2] * m[2][0]) +
                       m[0][2] * (m[1][0] * m[2][1] - m[1][1] * m[2][0]);
    if (!(std::fabs(det) > 1e-9)) {
        return false;
    }
    for (int r = 0; r < 3; ++r) {
        for (int c = 0; c < 3; ++c) {
            // The cofactor of (c, r), for the transpose.
            const int r1 = (c + 1) % 3, r2 = (c + 2) % 3, c1 = (r + 1) % 3, c2 = (r + 2) % 3;
            inverse[r][c] = (m[r1][c1] * m[r2][c2] - m[r1][c2] * m[r2][c1]) / det;
        }
    }
    return true;
}

// The fast path from `from` (read from the store) to `to`, or null when
// either profile is not a plain matrix and curves.
std::unique_ptr<MatrixShaper> MakeMatrixShaper(cmsHPROFILE from, cmsHPROFILE to)
{
    double source[3][3];
    double target[3][3];
    double inverse[3][3];
    const cmsToneCurve* in[3];
    const cmsToneCurve* out[3];
    if (!ReadMatrixShaper(from, true, source, in) || !ReadMatrixShaper(to, false, target, out) ||
        !Invert(target, inverse)) {
        return nullptr;
    }
    std::unique_ptr<MatrixShaper> tables(new (std::nothrow) MatrixShaper);
    if (tables == nullptr) {
        return nullptr;
    }
    // The store's byte k is channel 2 - k (blue first).
    for (int o = 0; o < 3; ++o) {
        for (int i = 0; i < 3; ++i) {
            double factor = 0;
            for (int k = 0; k < 3; ++k) {
                factor += inverse[2 - o][k] * source[k][2 - i];
            }
            for (int v = 0; v < 256; ++v) {
                const double light = cmsEvalToneCurveFloat(in[2 - i], static_cast<cmsFloat32Number>(v / 255.0));
                tables->terms[o][i][v] = static_cast<std::int32_t>(std::lround(factor * light * kLinearOne));
            }
        }
        const PxLcmsCurve back(cmsReverseToneCurveEx(4096, out[2 - o]));
        if (back == nullptr) {
            return nullptr;
        }
        for (std::int32_t k = 0; k <= kLinearOne; ++k) {
            const double value =
                cmsEvalToneCurveFloat(back.get(), static_cast<cmsFloat32Number>(static_cast<double>(k) / kLinearOne));
            tables->encode[o][k] = static_cast<std::uint8_t>(std::clamp(std::lround(value * 255), 0L, 255L));
        }
    }
    return tables;
}

void ConvertRows(const MatrixShaper& tables, std::uint8_t* pixels, std::int64_t stride, std::int64_t width,
                 std::int64_t first, std::int64_t end)
{
    for (std::int64_t row = first; row < end; ++row) {
        std::uint8_t* p = pixels + row * stride;
        for (std::int64_t x = 0; x < width; ++x, p += 3) {
            const unsigned b = p[0];
            const unsigned g = p[1];
            const unsigned r = p[2];
            for (int o = 0; o < 3; ++o) {
                const std::int32_t light = tables.terms[o][0][b] + tables.terms[o][1][g] + tables.terms[o][2][r];
                p[o] = tables.encode[o][std::clamp(light, 0, kLinearOne)];
            }
        }
    }
}

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
        if (result.input != TYPE_CMYK_8) {
            result.fast = MakeMatrixShaper(from.get(), to.get());
            if (result.fast != nullptr) {
                return result;
            }
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
    if ((transform->handle == nullptr && transform->fast == nullptr) || (fromCmyk && !meta.cmyk)) {
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
        if (transform->fast != nullptr) {
            ConvertRows(*transform->fast, bitmap.Pixels(), stride, width, first, end);
        } else if (end > first) {
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
