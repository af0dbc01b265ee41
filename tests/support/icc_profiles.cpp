#include "support/icc_profiles.h"

#include <lcms2.h>

#include <memory>

namespace brelvix {

namespace {

struct Close {
    void operator()(void* profile) const { cmsCloseProfile(profile); }
};
using Profile = std::unique_ptr<void, Close>;

std::vector<std::uint8_t> Save(cmsHPROFILE profile, const char* description, std::size_t padding = 0)
{
    cmsMLU* text = cmsMLUalloc(nullptr, 1);
    cmsMLUsetASCII(text, "en", "US", description);
    cmsWriteTag(profile, cmsSigProfileDescriptionTag, text);
    cmsMLUfree(text);
    if (padding > 0) {
        // A private tag lcms2 writes as it is.
        const std::vector<std::uint8_t> filler(padding, 'x');
        cmsWriteRawTag(profile, static_cast<cmsTagSignature>(0x70616420), filler.data(),
                       static_cast<cmsUInt32Number>(filler.size()));
    }
    cmsUInt32Number bytes = 0;
    cmsSaveProfileToMem(profile, nullptr, &bytes);
    std::vector<std::uint8_t> saved(bytes);
    cmsSaveProfileToMem(profile, saved.data(), &bytes);
    return saved;
}

std::vector<std::uint8_t> Rgb(const cmsCIExyY& white, const cmsCIExyYTRIPLE& primaries, double gamma, bool srgb,
                              std::size_t padding, const char* description)
{
    const cmsFloat64Number parameters[5] = {2.4, 1 / 1.055, 0.055 / 1.055, 1 / 12.92, 0.04045};
    cmsToneCurve* curve = srgb ? cmsBuildParametricToneCurve(nullptr, 4, parameters) : cmsBuildGamma(nullptr, gamma);
    cmsToneCurve* curves[3] = {curve, curve, curve};
    const Profile profile(cmsCreateRGBProfile(&white, &primaries, curves));
    cmsFreeToneCurve(curve);
    return Save(profile.get(), description, padding);
}

// Ink amounts to Lab through a plain subtractive mix seen as sRGB.
cmsInt32Number SampleCmyk(const cmsUInt16Number in[], cmsUInt16Number out[], void* cargo)
{
    const double k = 1 - in[3] / 65535.0;
    std::uint8_t rgb[3];
    for (int c = 0; c < 3; ++c) {
        rgb[c] = static_cast<std::uint8_t>(255 * (1 - in[c] / 65535.0) * k + 0.5);
    }
    cmsCIELab lab;
    cmsDoTransform(cargo, rgb, &lab, 1);
    cmsFloat2LabEncodedV2(out, &lab);
    return TRUE;
}

std::vector<std::uint8_t> Cmyk()
{
    const Profile srgb(cmsCreate_sRGBProfile());
    const Profile lab(cmsCreateLab4Profile(nullptr));
    cmsHTRANSFORM toLab = cmsCreateTransform(srgb.get(), TYPE_RGB_8, lab.get(), TYPE_Lab_DBL, INTENT_PERCEPTUAL, 0);
    const Profile profile(cmsCreateProfilePlaceholder(nullptr));
    // A version 2 profile keeps a bare table (lut16Type).
    cmsSetProfileVersion(profile.get(), 2.1);
    cmsSetDeviceClass(profile.get(), cmsSigOutputClass);
    cmsSetColorSpace(profile.get(), cmsSigCmykData);
    cmsSetPCS(profile.get(), cmsSigLabData);
    cmsPipeline* pipeline = cmsPipelineAlloc(nullptr, 4, 3);
    cmsStage* table = cmsStageAllocCLut16bit(nullptr, 9, 4, 3, nullptr);
    cmsStageSampleCLut16bit(table, SampleCmyk, toLab, 0);
    cmsPipelineInsertStage(pipeline, cmsAT_END, table);
    cmsWriteTag(profile.get(), cmsSigAToB0Tag, pipeline);
    cmsWriteTag(profile.get(), cmsSigMediaWhitePointTag, cmsD50_XYZ());
    cmsPipelineFree(pipeline);
    cmsDeleteTransform(toLab);
    return Save(profile.get(), "Test CMYK");
}

}  // namespace

std::vector<std::uint8_t> MakeTestProfile(TestProfile kind, std::size_t padding)
{
    const cmsCIExyY d65{0.3127, 0.3290, 1.0};
    const cmsCIExyY d50{0.3457, 0.3585, 1.0};
    switch (kind) {
        case TestProfile::kAdobeRgb:
            return Rgb(d65, {{0.64, 0.33, 1}, {0.21, 0.71, 1}, {0.15, 0.06, 1}}, 563.0 / 256, false, padding,
                       "Test Adobe RGB");
        case TestProfile::kDisplayP3:
            return Rgb(d65, {{0.680, 0.320, 1}, {0.265, 0.690, 1}, {0.150, 0.060, 1}}, 0, true, padding,
                       "Test Display P3");
        case TestProfile::kProPhoto:
            return Rgb(d50, {{0.7347, 0.2653, 1}, {0.1596, 0.8404, 1}, {0.0366, 0.0001, 1}}, 1.8, false, padding,
                       "Test ProPhoto RGB");
        case TestProfile::kGrey: {
            cmsToneCurve* curve = cmsBuildGamma(nullptr, 1.8);
            const Profile profile(cmsCreateGrayProfile(cmsD50_xyY(), curve));
            cmsFreeToneCurve(curve);
            return Save(profile.get(), "Test grey");
        }
        case TestProfile::kCmyk:
            return Cmyk();
    }
    return {};
}

std::vector<std::uint8_t> LcmsConvert(const std::vector<std::uint8_t>& from, unsigned fromFormat,
                                      const std::vector<std::uint8_t>& to, unsigned toFormat,
                                      const std::uint8_t* pixels, std::size_t count)
{
    auto open = [](const std::vector<std::uint8_t>& bytes) {
        return Profile(bytes.empty() ? cmsCreate_sRGBProfile()
                                     : cmsOpenProfileFromMem(bytes.data(), static_cast<cmsUInt32Number>(bytes.size())));
    };
    const Profile source = open(from);
    const Profile target = open(to);
    std::vector<std::uint8_t> out(count * T_CHANNELS(toFormat) * T_BYTES(toFormat));
    cmsHTRANSFORM transform =
        cmsCreateTransform(source.get(), fromFormat, target.get(), toFormat, INTENT_PERCEPTUAL, 0);
    if (transform == nullptr) {
        return {};
    }
    cmsDoTransform(transform, pixels, out.data(), static_cast<cmsUInt32Number>(count));
    cmsDeleteTransform(transform);
    return out;
}

}  // namespace brelvix
