#include "imaging/exif_info.h"

#include <gtest/gtest.h>

#include "support/exif_writer.h"

namespace brelvix {

namespace {

using Lines = std::vector<std::pair<std::string, std::string>>;

// Tags of the first directory, the Exif directory and the GPS directory.
enum : std::uint16_t { kMake = 0x010F, kModel = 0x0110, kExposure = 0x829A, kFNumber = 0x829D, kIso = 0x8827 };
enum : std::uint16_t { kIsoSpeed = 0x8833, kTaken = 0x9003, kDigitized = 0x9004, kFlash = 0x9209 };
enum : std::uint16_t { kFocalLength = 0x920A, kLens = 0xA434 };
enum : std::uint16_t { kLatitudeRef = 1, kLatitude = 2, kLongitudeRef = 3, kLongitude = 4 };

ExifDirectories Camera()
{
    ExifDirectories block;
    block.primary = {ExifText(kMake, "Canon"), ExifText(kModel, "EOS 5D Mark IV")};
    block.exif = {ExifRationals(kExposure, {{1, 250}}),
                  ExifRationals(kFNumber, {{28, 10}}),
                  ExifShorts(kIso, {400}),
                  ExifText(kTaken, "2024:05:17 14:03:22"),
                  ExifShorts(kFlash, {0x10}),
                  ExifRationals(kFocalLength, {{50, 1}}),
                  ExifText(kLens, "EF50mm f/1.8 STM"),
                  ExifLongs(kIsoSpeed, {102400})};  // read only when the older tag is saturated
    block.gps = {ExifText(kLatitudeRef, "N"), ExifRationals(kLatitude, {{48, 1}, {51, 1}, {3012, 100}}),
                 ExifText(kLongitudeRef, "E"), ExifRationals(kLongitude, {{2, 1}, {17, 1}, {4032, 100}})};
    return block;
}

Lines KeyValuesOf(const ExifDirectories& directories, bool bigEndian = false)
{
    const std::vector<std::uint8_t> block = MakeExifBlock(directories, bigEndian);
    return PxExifKeyValues(PxReadExifInfo(block.data(), block.size()));
}

const Lines kCameraLines = {
    {"camera_make", "Canon"},
    {"camera_model", "EOS 5D Mark IV"},
    {"lens", "EF50mm f/1.8 STM"},
    {"exposure", "1/250"},
    {"f_number", "2.8"},
    {"iso", "400"},
    {"focal_length", "50"},
    {"taken", "2024-05-17T14:03:22"},
    // 48 + 51/60 + 30.12/3600 and 2 + 17/60 + 40.32/3600
    {"gps", "48.858367,2.294533"},
};

const Lines kCameraRows = {{"Camera make", "Canon"},
                           {"Camera model", "EOS 5D Mark IV"},
                           {"Lens", "EF50mm f/1.8 STM"},
                           {"Exposure time", "1/250 s"},
                           {"F-number", "f/2.8"},
                           {"ISO", "400"},
                           {"Focal length", "50 mm"},
                           {"Flash", "Did not fire"},
                           {"Date taken", "2024-05-17 14:03:22"},
                           {"GPS position", "48.858367, 2.294533"}};

TEST(PxExifInfo, EveryRowInEitherByteOrderWithOrWithoutHeader)
{
    EXPECT_EQ(KeyValuesOf(Camera(), false), kCameraLines);
    EXPECT_EQ(KeyValuesOf(Camera(), true), kCameraLines);
    const std::vector<std::uint8_t> tiff = ExifWithoutHeader(MakeExifBlock(Camera(), true));
    EXPECT_EQ(PxExifKeyValues(PxReadExifInfo(tiff.data(), tiff.size())), kCameraLines);

    const std::vector<std::uint8_t> block = MakeExifBlock(Camera());
    EXPECT_EQ(PxExifRows(PxReadExifInfo(block.data(), block.size())), kCameraRows);
    for (const auto& [value, text] : {std::pair{0x19u, "Fired"}, std::pair{0x20u, "No flash"}}) {
        ExifDirectories flash;
        flash.exif = {ExifShorts(kFlash, {value})};
        const std::vector<std::uint8_t> bytes = MakeExifBlock(flash);
        EXPECT_EQ(PxExifRows(PxReadExifInfo(bytes.data(), bytes.size())), (Lines{{"Flash", text}})) << value;
    }
}

// One value changed from the sound camera block, and the lines that result.
TEST(PxExifInfo, ValuesAsWrittenAndWhatIsLeftOut)
{
    struct Case {
        const char* what;
        ExifTag tag;
        std::vector<ExifTag> ExifDirectories::*directory;
        const char* key;
        const char* expected;  // nullptr: the key is left out
    };
    const auto primary = &ExifDirectories::primary;
    const auto exif = &ExifDirectories::exif;
    const auto gps = &ExifDirectories::gps;
    const Case cases[] = {
        {"control characters", ExifText(kMake, "  Can\non\r "), primary, "camera_make", "Can on"},
        {"overlong name", ExifText(kModel, std::string(300, 'x')), primary, "camera_model", nullptr},
        {"reduced fraction", ExifRationals(kExposure, {{10, 2500}}), exif, "exposure", "1/250"},
        {"near a reciprocal", ExifRationals(kExposure, {{333, 1000}}), exif, "exposure", "1/3"},
        {"tenths of a second", ExifRationals(kExposure, {{3, 10}}), exif, "exposure", "0.3"},
        {"long exposure", ExifRationals(kExposure, {{25, 10}}), exif, "exposure", "2.5"},
        {"zero exposure", ExifRationals(kExposure, {{0, 1}}), exif, "exposure", nullptr},
        {"zero denominator", ExifRationals(kExposure, {{1, 0}}), exif, "exposure", nullptr},
        {"whole f-number", ExifRationals(kFNumber, {{11, 1}}), exif, "f_number", "11"},
        {"f-number over zero", ExifRationals(kFNumber, {{28, 0}}), exif, "f_number", nullptr},
        {"fractional focal length", ExifRationals(kFocalLength, {{425, 100}}), exif, "focal_length", "4.25"},
        {"unknown focal length", ExifRationals(kFocalLength, {{0, 1}}), exif, "focal_length", nullptr},
        {"saturated iso", ExifShorts(kIso, {65535}), exif, "iso", "102400"},
        {"iso as a long", ExifLongs(kIso, {3200}), exif, "iso", "3200"},
        {"impossible month", ExifText(kTaken, "2024:13:01 10:00:00"), exif, "taken", nullptr},
        {"29 February of a common year", ExifText(kTaken, "2023:02:29 10:00:00"), exif, "taken", nullptr},
        {"29 February of a leap year", ExifText(kTaken, "2024:02:29 10:00:00"), exif, "taken", "2024-02-29T10:00:00"},
        {"date with dashes", ExifText(kTaken, "2019-01-02 03:04:05"), exif, "taken", "2019-01-02T03:04:05"},
        {"south", ExifText(kLatitudeRef, "S"), gps, "gps", "-48.858367,2.294533"},
        {"west", ExifText(kLongitudeRef, "W"), gps, "gps", "48.858367,-2.294533"},
        {"no reference", ExifText(kLatitudeRef, ""), gps, "gps", nullptr},
        {"sixty minutes", ExifRationals(kLatitude, {{48, 1}, {60, 1}, {0, 1}}), gps, "gps", nullptr},
        {"seconds over zero", ExifRationals(kLatitude, {{48, 1}, {51, 1}, {30, 0}}), gps, "gps", nullptr},
        {"beyond the pole", ExifRationals(kLatitude, {{91, 1}, {0, 1}, {0, 1}}), gps, "gps", nullptr},
    };
    for (const Case& c : cases) {
        ExifDirectories block = Camera();
        for (ExifTag& tag : block.*c.directory) {
            if (tag.tag == c.tag.tag) {
                tag = c.tag;
            }
        }
        Lines expected;
        for (const auto& line : kCameraLines) {
            if (line.first != c.key) {
                expected.push_back(line);
            } else if (c.expected != nullptr) {
                expected.emplace_back(c.key, c.expected);
            }
        }
        EXPECT_EQ(KeyValuesOf(block), expected) << c.what;
    }
}

// Damage that must cost only the damaged value.
TEST(PxExifInfo, LyingEntriesLoseOnlyThemselves)
{
    ExifDirectories block = Camera();
    block.primary[0].offset = 0x7FFFFF00;  // make: value far outside the block
    block.primary[1].count = 0x40000000;   // model: a gigabyte of text
    block.exif[1].count = 0x20000000;      // f-number: more rationals than bytes
    block.exif[3].offset = 0xFFFFFFF0;     // date taken: offset that wraps around
    block.exif.push_back(ExifText(kDigitized, "2020:01:02 03:04:05"));
    const Lines lines = KeyValuesOf(block);
    EXPECT_EQ(lines, (Lines{{"lens", "EF50mm f/1.8 STM"},
                            {"exposure", "1/250"},
                            {"iso", "400"},
                            {"focal_length", "50"},
                            {"taken", "2020-01-02T03:04:05"},
                            {"gps", "48.858367,2.294533"}}));
}

TEST(PxExifInfo, NothingFromNothingOrGarbage)
{
    const std::vector<std::uint8_t> sound = MakeExifBlock(Camera());
    const std::vector<std::uint8_t> garbage(500, 0xA5);
    EXPECT_TRUE(PxReadExifInfo(nullptr, 0).Empty());
    EXPECT_TRUE(PxReadExifInfo(garbage.data(), garbage.size()).Empty());
    EXPECT_TRUE(PxReadExifInfo(sound.data(), 14).Empty());
    // Every cut of a sound block reads without harm; the values it keeps are
    // those of the whole block.
    const PxExifInfo whole = PxReadExifInfo(sound.data(), sound.size());
    for (std::size_t cut = 0; cut < sound.size(); ++cut) {
        const PxExifInfo part = PxReadExifInfo(sound.data(), cut);
        EXPECT_TRUE(part.cameraMake.empty() || part.cameraMake == whole.cameraMake) << cut;
        EXPECT_TRUE(!part.taken || part.taken == whole.taken) << cut;
        EXPECT_TRUE(!part.gps || part.gps == whole.gps) << cut;
    }
}

}  // namespace

}  // namespace brelvix
