#include "color_profile.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <vector>

#include "lcms_handles.h"

namespace brelvix {

namespace {

// An ICC header is 128 bytes and the tag count follows it.
constexpr std::size_t kIccHeaderBytes = 132;
constexpr std::size_t kIccSignatureAt = 36;

// A description longer than this is cut; it only ever names the profile.
constexpr std::size_t kMaxDescription = 200;

// How far a profile may be from sRGB and still be taken for it: its
// primaries within the rounding of the ICC's 16-bit fractions and the way
// different makers adapt them to D50, its curves within half a step of
// 8-bit output. A conversion between the two would move no value by more
// than a step, so there is nothing to gain from making one.
constexpr double kColorantTolerance = 0.002;
constexpr double kCurveTolerance = 0.5 / 255;

// Samples of the tabulated curves (PQ, HLG, SMPTE 428).
constexpr int kTableEntries = 4096;

std::uint32_t Be32(const std::uint8_t* p)
{
    return std::uint32_t{p[0]} << 24 | std::uint32_t{p[1]} << 16 | std::uint32_t{p[2]} << 8 | p[3];
}

cmsColorSpaceSignature SpaceSignature(PxSampleSpace space)
{
    switch (space) {
        case PxSampleSpace::kGrey:
            return cmsSigGrayData;
        case PxSampleSpace::kCmyk:
            return cmsSigCmykData;
        case PxSampleSpace::kRgb:
            break;
    }
    return cmsSigRgbData;
}

cmsUInt32Number SampleFormat(PxSampleSpace space)
{
    switch (space) {
        case PxSampleSpace::kGrey:
            return TYPE_GRAY_8;
        case PxSampleSpace::kCmyk:
            return TYPE_CMYK_8;
        case PxSampleSpace::kRgb:
            break;
    }
    return TYPE_RGB_8;
}

// The profile's description in plain printable ASCII, as it can go on one
// line of text.
std::string Description(cmsHPROFILE profile)
{
    char text[kMaxDescription + 1] = {};
    cmsGetProfileInfoASCII(profile, cmsInfoDescription, "en", "US", text, sizeof text);
    std::string result(text, strnlen(text, sizeof text));
    for (char& c : result) {
        if (static_cast<unsigned char>(c) < 0x20 || static_cast<unsigned char>(c) > 0x7E) {
            c = '?';
        }
    }
    while (!result.empty() && result.back() == ' ') {
        result.pop_back();
    }
    return result;
}

bool CloseTo(const cmsCIEXYZ* a, const cmsCIEXYZ* b)
{
    return a != nullptr && b != nullptr && std::fabs(a->X - b->X) <= kColorantTolerance &&
           std::fabs(a->Y - b->Y) <= kColorantTolerance && std::fabs(a->Z - b->Z) <= kColorantTolerance;
}

bool CloseTo(const cmsToneCurve* a, const cmsToneCurve* b)
{
    if (a == nullptr || b == nullptr) {
        return false;
    }
    for (int i = 0; i <= 64; ++i) {
        const auto x = static_cast<cmsFloat32Number>(i / 64.0);
        if (std::fabs(cmsEvalToneCurveFloat(a, x) - cmsEvalToneCurveFloat(b, x)) > kCurveTolerance) {
            return false;
        }
    }
    return true;
}

// Whether an RGB profile is sRGB under another name: a matrix and three
// curves, all of them sRGB's.
bool MeansSrgb(cmsHPROFILE profile)
{
    if (cmsGetColorSpace(profile) != cmsSigRgbData || !cmsIsMatrixShaper(profile)) {
        return false;
    }
    const PxLcmsProfile srgb(cmsCreate_sRGBProfile());
    if (srgb == nullptr) {
        return false;
    }
    const cmsTagSignature colorants[3] = {cmsSigRedColorantTag, cmsSigGreenColorantTag, cmsSigBlueColorantTag};
    const cmsTagSignature curves[3] = {cmsSigRedTRCTag, cmsSigGreenTRCTag, cmsSigBlueTRCTag};
    for (int i = 0; i < 3; ++i) {
        if (!CloseTo(static_cast<const cmsCIEXYZ*>(cmsReadTag(profile, colorants[i])),
                     static_cast<const cmsCIEXYZ*>(cmsReadTag(srgb.get(), colorants[i]))) ||
            !CloseTo(static_cast<const cmsToneCurve*>(cmsReadTag(profile, curves[i])),
                     static_cast<const cmsToneCurve*>(cmsReadTag(srgb.get(), curves[i])))) {
            return false;
        }
    }
    return true;
}

// SMPTE ST 2084: signal to light in units of 10000 cd/m2, shown so that
// the reference white of 203 cd/m2 is full white and brighter light clips.
double PqToDisplay(double v)
{
    constexpr double m1 = 2610.0 / 16384;
    constexpr double m2 = 2523.0 / 4096 * 128;
    constexpr double c1 = 3424.0 / 4096;
    constexpr double c2 = 2413.0 / 4096 * 32;
    constexpr double c3 = 2392.0 / 4096 * 32;
    const double p = std::pow(v, 1 / m2);
    const double light = std::pow(std::max(p - c1, 0.0) / (c2 - c3 * p), 1 / m1);
    return light * 10000 / 203;
}

// ARIB STD-B67: signal to scene light, then the display's system gamma of
// 1.2, shown so that the reference white (a signal of 0.75) is full white.
double HlgToDisplay(double v)
{
    constexpr double a = 0.17883277;
    constexpr double b = 0.28466892;
    constexpr double c = 0.55991073;
    auto scene = [&](double x) { return x <= 0.5 ? x * x / 3 : (std::exp((x - c) / a) + b) / 12; };
    return std::pow(scene(v) / scene(0.75), 1.2);
}

// SMPTE ST 428-1: the cinema's gamma 2.6 with its 52.37 / 48 headroom.
double Smpte428ToDisplay(double v)
{
    return std::pow(v, 2.6) * 52.37 / 48;
}

PxLcmsCurve Tabulated(double (*toDisplay)(double))
{
    std::vector<cmsFloat32Number> values(kTableEntries);
    for (int i = 0; i < kTableEntries; ++i) {
        const double light = toDisplay(static_cast<double>(i) / (kTableEntries - 1));
        values[static_cast<std::size_t>(i)] = static_cast<cmsFloat32Number>(std::clamp(light, 0.0, 1.0));
    }
    return PxLcmsCurve(cmsBuildTabulatedToneCurveFloat(nullptr, kTableEntries, values.data()));
}

// lcms2's parametric curve of type 4: (a x + b)^g above d, c x below.
PxLcmsCurve Piecewise(double g, double a, double b, double c, double d)
{
    const cmsFloat64Number parameters[5] = {g, a, b, c, d};
    return PxLcmsCurve(cmsBuildParametricToneCurve(nullptr, 4, parameters));
}

// The curve from stored value to light. Null for transfers without one here.
PxLcmsCurve TransferCurve(const PxTransfer& transfer)
{
    switch (transfer.code) {
        case 0:
            if (!(transfer.gamma > 0.05 && transfer.gamma < 20)) {
                return nullptr;
            }
            return PxLcmsCurve(cmsBuildGamma(nullptr, transfer.gamma));
        case 1:
        case 6:
        case 14:
        case 15:
            return Piecewise(1 / 0.45, 1 / 1.099, 0.099 / 1.099, 1 / 4.5, 0.081);
        case 4:
            return PxLcmsCurve(cmsBuildGamma(nullptr, 2.2));
        case 5:
            return PxLcmsCurve(cmsBuildGamma(nullptr, 2.8));
        case 7:
            return Piecewise(1 / 0.45, 1 / 1.1115, 0.1115 / 1.1115, 1 / 4.0, 0.0913);
        case 8:
            return PxLcmsCurve(cmsBuildGamma(nullptr, 1.0));
        case 13:
            return Piecewise(2.4, 1 / 1.055, 0.055 / 1.055, 1 / 12.92, 0.04045);
        case 16:
            return Tabulated(PqToDisplay);
        case 17:
            return Tabulated(Smpte428ToDisplay);
        case 18:
            return Tabulated(HlgToDisplay);
        default:
            return nullptr;
    }
}

bool Plausible(const double xy[2])
{
    return std::isfinite(xy[0]) && std::isfinite(xy[1]) && xy[0] >= 0 && xy[0] <= 1 && xy[1] > 0 && xy[1] <= 1;
}

// Opens a profile found in a file or given as a target, when it is a whole
// ICC profile of `space` that lcms2 can use in the direction asked for;
// `length` receives its length as its header gives it. Null otherwise.
PxLcmsProfile OpenChecked(const std::uint8_t* data, std::size_t size, PxSampleSpace space, bool asTarget,
                          std::uint32_t* length)
{
    if (data == nullptr || size < kIccHeaderBytes || size > kPxMaxProfileBytes ||
        std::memcmp(data + kIccSignatureAt, "acsp", 4) != 0) {
        return nullptr;
    }
    // The header says how long the profile is; less than that is a profile
    // cut off, whose last tags would be read from whatever follows it.
    const std::uint32_t declared = Be32(data);
    if (declared < kIccHeaderBytes || declared > size) {
        return nullptr;
    }
    PxLcmsProfile opened(cmsOpenProfileFromMem(data, declared));
    if (opened == nullptr || cmsGetColorSpace(opened.get()) != SpaceSignature(space)) {
        return nullptr;
    }
    const cmsProfileClassSignature kind = cmsGetDeviceClass(opened.get());
    const cmsColorSpaceSignature connection = cmsGetPCS(opened.get());
    if (kind == cmsSigLinkClass || kind == cmsSigAbstractClass || kind == cmsSigNamedColorClass ||
        (connection != cmsSigXYZData && connection != cmsSigLabData)) {
        return nullptr;
    }
    // lcms2 reads the tags only when it needs them: a transform built now,
    // unoptimised so that it costs little, is what shows the profile whole.
    const PxLcmsProfile srgb(cmsCreate_sRGBProfile());
    if (srgb == nullptr) {
        return nullptr;
    }
    constexpr cmsUInt32Number kTrialFlags = cmsFLAGS_NOOPTIMIZE | cmsFLAGS_NOCACHE;
    const PxLcmsTransform trial(
        asTarget
            ? cmsCreateTransform(srgb.get(), TYPE_RGB_8, opened.get(), SampleFormat(space), kPxIntent, kTrialFlags)
            : cmsCreateTransform(opened.get(), SampleFormat(space), srgb.get(), TYPE_RGB_8, kPxIntent, kTrialFlags));
    if (trial == nullptr) {
        return nullptr;
    }
    *length = declared;
    return opened;
}

bool TakeChecked(const std::uint8_t* data, std::size_t size, PxSampleSpace space, bool asTarget,
                 PxColorProfile* profile)
{
    std::uint32_t length = 0;
    const PxLcmsProfile opened = OpenChecked(data, size, space, asTarget, &length);
    if (opened == nullptr || profile == nullptr) {
        return false;
    }
    profile->icc.assign(data, data + length);
    profile->description = Description(opened.get());
    profile->srgb = MeansSrgb(opened.get());
    return true;
}

}  // namespace

bool PxProfileFromIcc(const std::uint8_t* data, std::size_t size, PxSampleSpace space, PxColorProfile* profile)
{
    return TakeChecked(data, size, space, false, profile);
}

bool PxTargetFromIcc(const std::uint8_t* data, std::size_t size, PxColorProfile* target)
{
    return TakeChecked(data, size, PxSampleSpace::kRgb, true, target);
}

void PxSetSrgbProfile(PxColorProfile* profile)
{
    profile->icc.clear();
    profile->description = "sRGB IEC61966-2.1";
    profile->srgb = true;
}

bool PxPrimariesFromCode(int code, PxChromaticities* primaries)
{
    constexpr double kD65[2] = {0.3127, 0.3290};
    constexpr double kIlluminantC[2] = {0.310, 0.316};
    auto set = [&](const double white[2], double rx, double ry, double gx, double gy, double bx, double by) {
        *primaries = PxChromaticities{{white[0], white[1]}, {rx, ry}, {gx, gy}, {bx, by}};
        return true;
    };
    switch (code) {
        case 1:
            return set(kD65, 0.64, 0.33, 0.30, 0.60, 0.15, 0.06);
        case 4:
            return set(kIlluminantC, 0.67, 0.33, 0.21, 0.71, 0.14, 0.08);
        case 5:
            return set(kD65, 0.64, 0.33, 0.29, 0.60, 0.15, 0.06);
        case 6:
        case 7:
            return set(kD65, 0.630, 0.340, 0.310, 0.595, 0.155, 0.070);
        case 8:
            return set(kIlluminantC, 0.681, 0.319, 0.243, 0.692, 0.145, 0.049);
        case 9:
            return set(kD65, 0.708, 0.292, 0.170, 0.797, 0.131, 0.046);
        case 11: {
            constexpr double kDci[2] = {0.314, 0.351};
            return set(kDci, 0.680, 0.320, 0.265, 0.690, 0.150, 0.060);
        }
        case 12:
            return set(kD65, 0.680, 0.320, 0.265, 0.690, 0.150, 0.060);
        case 22:
            return set(kD65, 0.630, 0.340, 0.295, 0.605, 0.155, 0.077);
        default:
            return false;
    }
}

std::string PxPrimariesName(int code)
{
    switch (code) {
        case 1:
            return "BT.709";
        case 4:
            return "BT.470 M";
        case 5:
            return "BT.470 BG";
        case 6:
            return "BT.601";
        case 7:
            return "SMPTE 240M";
        case 8:
            return "generic film";
        case 9:
            return "BT.2020";
        case 11:
            return "DCI-P3";
        case 12:
            return "Display P3";
        case 22:
            return "EBU 3213";
        default:
            return "";
    }
}

std::string PxTransferName(int code)
{
    switch (code) {
        case 1:
            return "BT.709";
        case 4:
            return "gamma 2.2";
        case 5:
            return "gamma 2.8";
        case 6:
            return "BT.601";
        case 7:
            return "SMPTE 240M";
        case 8:
            return "linear";
        case 13:
            return "sRGB";
        case 14:
        case 15:
            return "BT.2020";
        case 16:
            return "PQ";
        case 17:
            return "SMPTE 428";
        case 18:
            return "HLG";
        default:
            return "";
    }
}

bool PxProfileFromCodePoints(int primaries, int transfer, PxColorProfile* profile)
{
    // Unspecified means what untagged pictures mean; when nothing is
    // specified, the picture is untagged.
    if (primaries == 2 && transfer == 2) {
        return false;
    }
    const int primariesCode = primaries == 2 ? 1 : primaries;
    const int transferCode = transfer == 2 ? 13 : transfer;
    if (primariesCode == 1 && transferCode == 13) {
        PxSetSrgbProfile(profile);
        return true;
    }
    PxChromaticities chromaticities{};
    if (!PxPrimariesFromCode(primariesCode, &chromaticities) || PxTransferName(transferCode).empty()) {
        return false;
    }
    PxTransfer curve;
    curve.code = transferCode;
    return PxProfileFromPrimaries(
        chromaticities, curve,
        PxPrimariesName(primariesCode) + " primaries, " + PxTransferName(transferCode) + " transfer", profile);
}

bool PxProfileFromPrimaries(const PxChromaticities& primaries, const PxTransfer& transfer,
                            const std::string& description, PxColorProfile* profile)
{
    if (profile == nullptr || !Plausible(primaries.white) || !Plausible(primaries.red) || !Plausible(primaries.green) ||
        !Plausible(primaries.blue)) {
        return false;
    }
    const PxLcmsCurve curve = TransferCurve(transfer);
    if (curve == nullptr) {
        return false;
    }
    const cmsCIExyY white{primaries.white[0], primaries.white[1], 1.0};
    const cmsCIExyYTRIPLE triple{{primaries.red[0], primaries.red[1], 1.0},
                                 {primaries.green[0], primaries.green[1], 1.0},
                                 {primaries.blue[0], primaries.blue[1], 1.0}};
    cmsToneCurve* curves[3] = {curve.get(), curve.get(), curve.get()};
    // Fails by itself when the primaries do not span a colour space.
    const PxLcmsProfile made(cmsCreateRGBProfile(&white, &triple, curves));
    const PxLcmsText text(cmsMLUalloc(nullptr, 1));
    if (made == nullptr || text == nullptr || !cmsMLUsetASCII(text.get(), "en", "US", description.c_str()) ||
        !cmsWriteTag(made.get(), cmsSigProfileDescriptionTag, text.get())) {
        return false;
    }
    cmsUInt32Number bytes = 0;
    if (!cmsSaveProfileToMem(made.get(), nullptr, &bytes) || bytes == 0) {
        return false;
    }
    std::vector<std::uint8_t> saved(bytes);
    if (!cmsSaveProfileToMem(made.get(), saved.data(), &bytes)) {
        return false;
    }
    saved.resize(bytes);
    profile->icc = std::move(saved);
    profile->description = description;
    profile->srgb = false;
    return true;
}

}  // namespace brelvix
