#include "color_convert.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <list>
#include <memory>
#include <mutex>
#include <new>
#include <vector>

#include "lcms_handles.h"
#include "parallel.h"

#if defined(__x86_64__) && (defined(__GNUC__) || defined(__clang__))
#include <immintrin.h>
#endif

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

// What one input byte adds to the three outputs' linear light, packed in
// one 64-bit word, 21 bits each (blue lowest): every term carries a bias of
// kTermBias, so that three added up stay positive and within their field,
// and one addition of words adds all three outputs at once.
constexpr int kFieldBits = 21;
constexpr std::uint64_t kFieldMask = (std::uint64_t{1} << kFieldBits) - 1;
constexpr std::int64_t kTermBias = std::int64_t{1} << 17;

// Both profiles made of three curves and a matrix (and nothing lcms2 would
// prefer to them), as nearly every photo's and display's profile is:
// stored value -> curve -> linear light -> matrix -> the other profile's
// linear light -> its inverse curve. lcms2's general pipeline costs about
// 20 ns a pixel for that; these tables do it with six lookups and two
// additions, within a step of lcms2's own result.
struct MatrixShaper {
    // Per input channel (blue, green, red, as the store holds them), each
    // byte's terms for the three outputs.
    std::uint64_t terms[3][256];
    // Per output channel, linear light 0 .. kLinearOne to the stored byte:
    // pointers into `encodings`, sharing one where channels share a curve
    // (the usual case), which keeps it in the first-level cache.
    const std::uint8_t* encode[3];
    std::uint8_t encodings[3][kLinearOne + 1];
};

struct Transform {
    PxLcmsTransform handle;              // null when lcms2 could not make one
    cmsUInt32Number input = 0;           // what it reads: the store's bytes or CMYK samples
    std::unique_ptr<MatrixShaper> fast;  // when both profiles allow it; `handle` is then unused
};

// The matrix of an RGB or grey profile's colorants (columns red, green,
// blue) and its three curves, when lcms2 would use them for `intent`: no
// table-based tag stands before them. A grey profile is three equal curves
// whose colorants share the white point, which is what three equal bytes
// make of one grey value.
bool ReadMatrixShaper(cmsHPROFILE profile, bool asInput, double matrix[3][3], const cmsToneCurve* curves[3])
{
    const cmsTagSignature tables[] = {
        asInput ? cmsSigAToB0Tag : cmsSigBToA0Tag, asInput ? cmsSigAToB1Tag : cmsSigBToA1Tag,
        asInput ? cmsSigAToB2Tag : cmsSigBToA2Tag, asInput ? cmsSigDToB0Tag : cmsSigBToD0Tag};
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
    for (int i = 0; i < 3; ++i) {
        for (int v = 0; v < 256; ++v) {
            const double light = std::clamp<double>(
                cmsEvalToneCurveFloat(in[2 - i], static_cast<cmsFloat32Number>(v / 255.0)), 0.0, 1.0);
            std::uint64_t packed = 0;
            for (int o = 0; o < 3; ++o) {
                double factor = 0;
                for (int k = 0; k < 3; ++k) {
                    factor += inverse[2 - o][k] * source[k][2 - i];
                }
                // Beyond eight times white a term means nothing more: the
                // sum is cut to white anyway.
                const std::int64_t term =
                    std::clamp<std::int64_t>(std::llround(factor * light * kLinearOne), 1 - kTermBias, kTermBias - 1);
                packed |= static_cast<std::uint64_t>(term + kTermBias) << (kFieldBits * o);
            }
            tables->terms[i][v] = packed;
        }
    }
    for (int o = 0; o < 3; ++o) {
        const PxLcmsCurve back(cmsReverseToneCurveEx(4096, out[2 - o]));
        if (back == nullptr) {
            return nullptr;
        }
        std::uint8_t* encoding = tables->encodings[o];
        for (std::int32_t k = 0; k <= kLinearOne; ++k) {
            const double value =
                cmsEvalToneCurveFloat(back.get(), static_cast<cmsFloat32Number>(static_cast<double>(k) / kLinearOne));
            encoding[k] = static_cast<std::uint8_t>(std::clamp(std::lround(value * 255), 0L, 255L));
        }
        tables->encode[o] = encoding;
        for (int earlier = 0; earlier < o; ++earlier) {
            if (std::equal(encoding, encoding + kLinearOne + 1, tables->encodings[earlier])) {
                tables->encode[o] = tables->encodings[earlier];
                break;
            }
        }
    }
    return tables;
}

// One pixel's sums into its three stored bytes.
inline void Encode(const MatrixShaper& tables, std::uint64_t sums, std::uint8_t* p)
{
    for (int o = 0; o < 3; ++o) {
        const std::int64_t light = static_cast<std::int64_t>((sums >> (kFieldBits * o)) & kFieldMask) - 3 * kTermBias;
        p[o] = tables.encode[o][std::clamp<std::int64_t>(light, 0, kLinearOne)];
    }
}

void ConvertRowPlain(const MatrixShaper& tables, std::uint8_t* p, std::int64_t width)
{
    for (std::int64_t x = 0; x < width; ++x, p += 3) {
        Encode(tables, tables.terms[0][p[0]] + tables.terms[1][p[1]] + tables.terms[2][p[2]], p);
    }
}

#if defined(__x86_64__) && (defined(__GNUC__) || defined(__clang__))
// The same in three steps over a stretch of the row: the sums (three
// lookups a pixel), then the fields cut out and clamped four pixels at a
// time, then the lookups of the stored bytes. Bytes are read and written
// four pixels (twelve bytes) at a time: the loop is bound by the
// processor's loads and stores, not by its arithmetic.
__attribute__((target("avx2"))) void ConvertRowAvx2(const MatrixShaper& tables, std::uint8_t* p, std::int64_t width)
{
    constexpr std::int64_t kStretch = 256;
    alignas(32) std::uint64_t sums[kStretch];
    alignas(32) std::uint16_t lights[3][kStretch];
    const __m256i mask = _mm256_set1_epi64x(static_cast<long long>(kFieldMask));
    const __m256i bias = _mm256_set1_epi64x(3 * kTermBias);
    const __m256i zero = _mm256_setzero_si256();
    const __m256i one = _mm256_set1_epi64x(kLinearOne);
    // The low 32 bits of each 64-bit lane, in order.
    const __m256i low = _mm256_setr_epi32(0, 2, 4, 6, 1, 3, 5, 7);
    const std::uint64_t* const t0 = tables.terms[0];
    const std::uint64_t* const t1 = tables.terms[1];
    const std::uint64_t* const t2 = tables.terms[2];
    const std::uint8_t* const e0 = tables.encode[0];
    const std::uint8_t* const e1 = tables.encode[1];
    const std::uint8_t* const e2 = tables.encode[2];
    // Whole groups of four pixels; the rest of the row goes the plain way.
    const std::int64_t grouped = width & ~std::int64_t{3};
    for (std::int64_t start = 0; start < grouped; start += kStretch) {
        const std::int64_t count = std::min(kStretch, grouped - start);
        std::uint8_t* q = p + 3 * start;
        for (std::int64_t x = 0; x < count; x += 4) {
            std::uint64_t a;
            std::uint32_t b;
            std::memcpy(&a, q + 3 * x, 8);
            std::memcpy(&b, q + 3 * x + 8, 4);
            sums[x] = t0[a & 0xFF] + t1[(a >> 8) & 0xFF] + t2[(a >> 16) & 0xFF];
            sums[x + 1] = t0[(a >> 24) & 0xFF] + t1[(a >> 32) & 0xFF] + t2[(a >> 40) & 0xFF];
            sums[x + 2] = t0[(a >> 48) & 0xFF] + t1[a >> 56] + t2[b & 0xFF];
            sums[x + 3] = t0[(b >> 8) & 0xFF] + t1[(b >> 16) & 0xFF] + t2[b >> 24];
        }
        for (std::int64_t x = 0; x < count; x += 4) {
            const __m256i s = _mm256_load_si256(reinterpret_cast<const __m256i*>(sums + x));
            for (int o = 0; o < 3; ++o) {
                __m256i v = _mm256_sub_epi64(_mm256_and_si256(_mm256_srli_epi64(s, kFieldBits * o), mask), bias);
                v = _mm256_blendv_epi8(v, zero, _mm256_cmpgt_epi64(zero, v));
                v = _mm256_blendv_epi8(v, one, _mm256_cmpgt_epi64(v, one));
                const __m128i four = _mm256_castsi256_si128(_mm256_permutevar8x32_epi32(v, low));
                _mm_storel_epi64(reinterpret_cast<__m128i*>(lights[o] + x), _mm_packus_epi32(four, four));
            }
        }
        for (std::int64_t x = 0; x < count; x += 4) {
            const std::uint64_t a =
                std::uint64_t{e0[lights[0][x]]} | std::uint64_t{e1[lights[1][x]]} << 8 |
                std::uint64_t{e2[lights[2][x]]} << 16 | std::uint64_t{e0[lights[0][x + 1]]} << 24 |
                std::uint64_t{e1[lights[1][x + 1]]} << 32 | std::uint64_t{e2[lights[2][x + 1]]} << 40 |
                std::uint64_t{e0[lights[0][x + 2]]} << 48 | std::uint64_t{e1[lights[1][x + 2]]} << 56;
            const std::uint32_t b = std::uint32_t{e2[lights[2][x + 2]]} | std::uint32_t{e0[lights[0][x + 3]]} << 8 |
                                    std::uint32_t{e1[lights[1][x + 3]]} << 16 |
                                    std::uint32_t{e2[lights[2][x + 3]]} << 24;
            std::memcpy(q + 3 * x, &a, 8);
            std::memcpy(q + 3 * x + 8, &b, 4);
        }
    }
    ConvertRowPlain(tables, p + 3 * grouped, width - grouped);
}
#endif

void ConvertRows(const MatrixShaper& tables, std::uint8_t* pixels, std::int64_t stride, std::int64_t width,
                 std::int64_t first, std::int64_t end)
{
    auto convertRow = ConvertRowPlain;
#if defined(__x86_64__) && (defined(__GNUC__) || defined(__clang__))
    if (__builtin_cpu_supports("avx2")) {
        convertRow = ConvertRowAvx2;
    }
#endif
    for (std::int64_t row = first; row < end; ++row) {
        convertRow(tables, pixels + row * stride, width);
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
