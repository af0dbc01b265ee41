#include "resample_rows.h"

#include <algorithm>
#include <cstring>

#include "resample.h"

#if defined(__x86_64__) && (defined(__GNUC__) || defined(__clang__))
#define PX_X86_KERNELS 1
#include <immintrin.h>
#endif

namespace brelvix {

namespace {

// ---- plain C++ ----

void FilterPixel(const std::uint8_t* in, const std::uint16_t* w, std::int32_t taps, std::uint8_t* out)
{
    std::uint32_t b = 128;
    std::uint32_t g = 128;
    std::uint32_t r = 128;
    for (std::int32_t t = 0; t < taps; ++t, in += 3) {
        b += w[t] * std::uint32_t{in[0]};
        g += w[t] * std::uint32_t{in[1]};
        r += w[t] * std::uint32_t{in[2]};
    }
    out[0] = static_cast<std::uint8_t>(b >> 8);
    out[1] = static_cast<std::uint8_t>(g >> 8);
    out[2] = static_cast<std::uint8_t>(r >> 8);
}

void FilterPixels(const std::uint8_t* source, std::uint8_t* out, const PxPass& pass, std::int32_t from)
{
    for (std::int32_t i = from; i < pass.count; ++i) {
        const PxWindow& window = pass.windows[i];
        const std::uint8_t* in = source + 3 * static_cast<std::int64_t>(window.first);
        std::uint8_t* to = out + 3 * static_cast<std::int64_t>(i);
        if (window.taps == 1) {
            // A lone weight is 256: the pixel is copied.
            std::memcpy(to, in, 3);
        } else {
            FilterPixel(in, pass.weights.get() + window.offset, window.taps, to);
        }
    }
}

void FilterRowPlain(const std::uint8_t* source, std::uint8_t* out, const PxPass& pass)
{
    FilterPixels(source, out, pass, 0);
}

void BlendBytes(const std::uint8_t* const* in, const std::uint16_t* w, std::int32_t taps, std::uint8_t* out,
                std::int64_t from, std::int64_t bytes)
{
    for (std::int64_t x = from; x < bytes; ++x) {
        std::uint32_t sum = 128;
        for (std::int32_t t = 0; t < taps; ++t) {
            sum += w[t] * std::uint32_t{in[t][x]};
        }
        out[x] = static_cast<std::uint8_t>(sum >> 8);
    }
}

void BlendRowsPlain(const std::uint8_t* const* in, const std::uint16_t* w, std::int32_t taps, std::uint8_t* out,
                    std::int64_t bytes)
{
    if (taps == 1) {
        std::memcpy(out, in[0], static_cast<std::size_t>(bytes));
        return;
    }
    BlendBytes(in, w, taps, out, 0, bytes);
}

#ifdef PX_X86_KERNELS

// ---- x86-64: SSE2 is always there; SSSE3 and AVX2 are checked for ----

// The vertical pass in 16-bit lanes: each byte is widened, multiplied by its
// row's weight and added; the sum fits 16 bits (see the header).
void BlendRowsSse2(const std::uint8_t* const* in, const std::uint16_t* w, std::int32_t taps, std::uint8_t* out,
                   std::int64_t bytes)
{
    if (taps == 1) {
        std::memcpy(out, in[0], static_cast<std::size_t>(bytes));
        return;
    }
    const __m128i zero = _mm_setzero_si128();
    const __m128i round = _mm_set1_epi16(128);
    std::int64_t x = 0;
    for (; x + 16 <= bytes; x += 16) {
        __m128i low = round;
        __m128i high = round;
        for (std::int32_t t = 0; t < taps; ++t) {
            const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(in[t] + x));
            const __m128i weight = _mm_set1_epi16(static_cast<short>(w[t]));
            low = _mm_add_epi16(low, _mm_mullo_epi16(_mm_unpacklo_epi8(v, zero), weight));
            high = _mm_add_epi16(high, _mm_mullo_epi16(_mm_unpackhi_epi8(v, zero), weight));
        }
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out + x),
                         _mm_packus_epi16(_mm_srli_epi16(low, 8), _mm_srli_epi16(high, 8)));
    }
    BlendBytes(in, w, taps, out, x, bytes);
}

__attribute__((target("avx2"))) void BlendRowsAvx2(const std::uint8_t* const* in, const std::uint16_t* w,
                                                   std::int32_t taps, std::uint8_t* out, std::int64_t bytes)
{
    if (taps == 1) {
        std::memcpy(out, in[0], static_cast<std::size_t>(bytes));
        return;
    }
    const __m256i zero = _mm256_setzero_si256();
    const __m256i round = _mm256_set1_epi16(128);
    std::int64_t x = 0;
    for (; x + 32 <= bytes; x += 32) {
        __m256i low = round;
        __m256i high = round;
        for (std::int32_t t = 0; t < taps; ++t) {
            const __m256i v = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(in[t] + x));
            const __m256i weight = _mm256_set1_epi16(static_cast<short>(w[t]));
            low = _mm256_add_epi16(low, _mm256_mullo_epi16(_mm256_unpacklo_epi8(v, zero), weight));
            high = _mm256_add_epi16(high, _mm256_mullo_epi16(_mm256_unpackhi_epi8(v, zero), weight));
        }
        // Unpacking and packing both work within 128-bit halves, so the
        // bytes come back in their order.
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(out + x),
                            _mm256_packus_epi16(_mm256_srli_epi16(low, 8), _mm256_srli_epi16(high, 8)));
    }
    BlendBytes(in, w, taps, out, x, bytes);
}

// The horizontal pass, one output pixel per step: 16 source bytes (four
// pixels) are spread by a byte shuffle into 16-bit lanes, blue, green and
// red of two pixels side by side, so that one multiply-add per pair of
// inputs yields the three channel sums in 32-bit lanes.
__attribute__((target("ssse3"))) void FilterRowSsse3(const std::uint8_t* source, std::uint8_t* out, const PxPass& pass)
{
    const __m128i pairA = _mm_setr_epi8(0, -1, 3, -1, 1, -1, 4, -1, 2, -1, 5, -1, -1, -1, -1, -1);
    const __m128i pairB = _mm_setr_epi8(6, -1, 9, -1, 7, -1, 10, -1, 8, -1, 11, -1, -1, -1, -1, -1);
    const __m128i round = _mm_set1_epi32(128);
    const std::int32_t groups = pass.groups;
    const std::int16_t* lanes = pass.lanes.get();
    std::int32_t i = 0;
    for (; i < pass.vectorCount; ++i) {
        const std::uint8_t* in = source + 3 * static_cast<std::int64_t>(pass.windows[i].first);
        const std::int16_t* w = lanes + static_cast<std::int64_t>(i) * groups * 16;
        __m128i sum = round;
        for (std::int32_t g = 0; g < groups; ++g, in += 12, w += 16) {
            const __m128i pixels = _mm_loadu_si128(reinterpret_cast<const __m128i*>(in));
            const __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i*>(w));
            const __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(w + 8));
            sum = _mm_add_epi32(sum, _mm_madd_epi16(_mm_shuffle_epi8(pixels, pairA), a));
            sum = _mm_add_epi32(sum, _mm_madd_epi16(_mm_shuffle_epi8(pixels, pairB), b));
        }
        sum = _mm_srli_epi32(sum, 8);
        const __m128i bytes = _mm_packus_epi16(_mm_packs_epi32(sum, sum), sum);
        // The fourth byte is overwritten by the next pixel, or lands in the
        // row's slack.
        const std::int32_t word = _mm_cvtsi128_si32(bytes);
        std::memcpy(out + 3 * static_cast<std::int64_t>(i), &word, 4);
    }
    FilterPixels(source, out, pass, i);
}

// The same, with two output pixels in each 256-bit register, one per
// 128-bit half, and four pixels written with one store. `kHalf`: no window
// has more than two inputs, so the second pair of every group is zero and
// is skipped; `kOneGroup`: no window has more than four.
template <bool kHalf, bool kOneGroup>
__attribute__((target("avx2"), always_inline)) inline __m256i SumTwoPixels(const std::uint8_t* in0,
                                                                           const std::uint8_t* in1,
                                                                           const std::int16_t* w0,
                                                                           const std::int16_t* w1, std::int32_t groups)
{
    const __m256i pairA =
        _mm256_broadcastsi128_si256(_mm_setr_epi8(0, -1, 3, -1, 1, -1, 4, -1, 2, -1, 5, -1, -1, -1, -1, -1));
    const __m256i pairB =
        _mm256_broadcastsi128_si256(_mm_setr_epi8(6, -1, 9, -1, 7, -1, 10, -1, 8, -1, 11, -1, -1, -1, -1, -1));
    __m256i sum = _mm256_set1_epi32(128);
    for (std::int32_t g = 0; g < (kOneGroup ? 1 : groups); ++g, in0 += 12, in1 += 12, w0 += 16, w1 += 16) {
        const __m256i pixels =
            _mm256_inserti128_si256(_mm256_castsi128_si256(_mm_loadu_si128(reinterpret_cast<const __m128i*>(in0))),
                                    _mm_loadu_si128(reinterpret_cast<const __m128i*>(in1)), 1);
        const __m256i a =
            _mm256_inserti128_si256(_mm256_castsi128_si256(_mm_loadu_si128(reinterpret_cast<const __m128i*>(w0))),
                                    _mm_loadu_si128(reinterpret_cast<const __m128i*>(w1)), 1);
        sum = _mm256_add_epi32(sum, _mm256_madd_epi16(_mm256_shuffle_epi8(pixels, pairA), a));
        if (!kHalf) {
            const __m256i b = _mm256_inserti128_si256(
                _mm256_castsi128_si256(_mm_loadu_si128(reinterpret_cast<const __m128i*>(w0 + 8))),
                _mm_loadu_si128(reinterpret_cast<const __m128i*>(w1 + 8)), 1);
            sum = _mm256_add_epi32(sum, _mm256_madd_epi16(_mm256_shuffle_epi8(pixels, pairB), b));
        }
    }
    return _mm256_srli_epi32(sum, 8);
}

template <bool kHalf, bool kOneGroup>
__attribute__((target("avx2"))) void FilterRowAvx2Of(const std::uint8_t* source, std::uint8_t* out, const PxPass& pass)
{
    // After the packs the dwords hold pixels 0 2 0 2 | 1 3 1 3: put them in
    // order, then drop every fourth byte.
    const __m256i order = _mm256_setr_epi32(0, 4, 1, 5, 0, 0, 0, 0);
    const __m128i squeeze = _mm_setr_epi8(0, 1, 2, 4, 5, 6, 8, 9, 10, 12, 13, 14, -1, -1, -1, -1);
    const std::int32_t groups = pass.groups;
    const std::int64_t block = static_cast<std::int64_t>(groups) * 16;
    const std::int16_t* lanes = pass.lanes.get();
    auto input = [&](std::int32_t k) { return source + 3 * static_cast<std::int64_t>(pass.windows[k].first); };
    std::int32_t i = 0;
    for (; i + 3 < pass.vectorCount; i += 4) {
        const std::int16_t* w = lanes + i * block;
        const __m256i first = SumTwoPixels<kHalf, kOneGroup>(input(i), input(i + 1), w, w + block, groups);
        const __m256i second =
            SumTwoPixels<kHalf, kOneGroup>(input(i + 2), input(i + 3), w + 2 * block, w + 3 * block, groups);
        const __m256i words = _mm256_packs_epi32(first, second);
        const __m256i bytes = _mm256_permutevar8x32_epi32(_mm256_packus_epi16(words, words), order);
        // 12 bytes of pixels and 4 zero bytes, which the next pixels or the
        // row's slack take.
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out + 3 * static_cast<std::int64_t>(i)),
                         _mm_shuffle_epi8(_mm256_castsi256_si128(bytes), squeeze));
    }
    FilterPixels(source, out, pass, i);
}

__attribute__((target("avx2"))) void FilterRowAvx2(const std::uint8_t* source, std::uint8_t* out, const PxPass& pass)
{
    if (pass.maxTaps <= 2) {
        FilterRowAvx2Of<true, true>(source, out, pass);
    } else if (pass.groups == 1) {
        FilterRowAvx2Of<false, true>(source, out, pass);
    } else {
        FilterRowAvx2Of<false, false>(source, out, pass);
    }
}

#endif  // PX_X86_KERNELS

const PxRowKernels kPlain{"plain", FilterRowPlain, BlendRowsPlain};

#ifdef PX_X86_KERNELS
const PxRowKernels kAvx2{"avx2", FilterRowAvx2, BlendRowsAvx2};
const PxRowKernels kSsse3{"ssse3", FilterRowSsse3, BlendRowsSse2};
const PxRowKernels kSse2{"sse2", FilterRowPlain, BlendRowsSse2};
#endif

struct Variants {
    PxRowKernels list[4];
    int count = 0;
};

const Variants& AvailableVariants()
{
    static const Variants variants = [] {
        Variants found;
#ifdef PX_X86_KERNELS
        __builtin_cpu_init();
        if (__builtin_cpu_supports("avx2")) {
            found.list[found.count++] = kAvx2;
        }
        if (__builtin_cpu_supports("ssse3")) {
            found.list[found.count++] = kSsse3;
        }
        found.list[found.count++] = kSse2;
#endif
        found.list[found.count++] = kPlain;
        return found;
    }();
    return variants;
}

}  // namespace

bool PxPackPass(const PxContributionTable& table, std::int32_t inCount, PxPass* pass)
{
    std::uint64_t total = 0;
    for (std::int32_t i = 0; i < table.count; ++i) {
        const PxContribution& entry = table.entries[i];
        if (entry.left < 0 || entry.right >= inCount || entry.left > entry.right ||
            entry.right - entry.left >= table.windowSize) {
            return false;
        }
        std::int32_t sum = 0;
        std::int32_t first = -1;
        std::int32_t last = -1;
        for (std::int32_t k = 0; k <= entry.right - entry.left; ++k) {
            const std::int32_t weight = entry.weights[k];
            if (weight < 0 || weight > 256) {
                return false;
            }
            sum += weight;
            if (weight != 0) {
                last = k;
                if (first < 0) {
                    first = k;
                }
            }
        }
        if (sum != 256) {
            return false;
        }
        total += static_cast<std::uint64_t>(last - first + 1);
    }
    pass->windows = PxZeroed<PxWindow>(static_cast<std::uint64_t>(table.count));
    pass->weights = PxZeroed<std::uint16_t>(total);
    if (!pass->windows || !pass->weights) {
        return false;
    }
    pass->count = table.count;
    pass->maxTaps = 0;
    pass->identity = table.count == inCount;
    std::int64_t offset = 0;
    for (std::int32_t i = 0; i < table.count; ++i) {
        const PxContribution& entry = table.entries[i];
        std::int32_t first = 0;
        while (entry.weights[first] == 0) {
            ++first;
        }
        std::int32_t last = entry.right - entry.left;
        while (entry.weights[last] == 0) {
            --last;
        }
        PxWindow& window = pass->windows[i];
        window.first = entry.left + first;
        window.taps = last - first + 1;
        window.offset = offset;
        for (std::int32_t k = first; k <= last; ++k) {
            pass->weights[offset++] = static_cast<std::uint16_t>(entry.weights[k]);
        }
        pass->maxTaps = std::max(pass->maxTaps, window.taps);
        if (window.first != i || window.taps != 1) {
            pass->identity = false;
        }
    }
    return true;
}

bool PxPrepareLanes(PxPass* pass, std::int32_t inCount)
{
    pass->groups = (pass->maxTaps + 3) / 4;
    pass->vectorCount = 0;
    pass->lanes =
        PxZeroed<std::int16_t>(static_cast<std::uint64_t>(pass->count) * static_cast<std::uint64_t>(pass->groups) * 16);
    if (!pass->lanes) {
        return false;
    }
    const std::int64_t rowBytes = 3 * static_cast<std::int64_t>(inCount);
    bool readsInside = true;
    for (std::int32_t i = 0; i < pass->count; ++i) {
        const PxWindow& window = pass->windows[i];
        const std::uint16_t* weights = pass->weights.get() + window.offset;
        std::int16_t* block = pass->lanes.get() + static_cast<std::int64_t>(i) * pass->groups * 16;
        for (std::int32_t t = 0; t < window.taps; ++t) {
            // Input t is lane (t % 2) of the pair (t / 2) % 2 of group t / 4,
            // once for each channel.
            std::int16_t* pair = block + (t / 4) * 16 + ((t / 2) % 2) * 8 + t % 2;
            pair[0] = pair[2] = pair[4] = static_cast<std::int16_t>(weights[t]);
        }
        // The last group's 16-byte read must stay within the row's pixels.
        const std::int64_t lastRead = 3 * (static_cast<std::int64_t>(window.first) + 4 * (pass->groups - 1)) + 16;
        readsInside = readsInside && lastRead <= rowBytes;
        if (readsInside) {
            pass->vectorCount = i + 1;
        }
    }
    return true;
}

const PxRowKernels& PxBestRowKernels()
{
    return AvailableVariants().list[0];
}

const PxRowKernels* PxAvailableRowKernels(int* count)
{
    const Variants& variants = AvailableVariants();
    *count = variants.count;
    return variants.list;
}

}  // namespace brelvix
