// What a camera wrote about a picture: the Exif values people look up (which
// camera and lens, the exposure, when and where it was taken), read with
// libexif from the Exif block of any format that carries one.
//
// A block may be damaged or lie (offsets outside it, counts that would need
// gigabytes, rationals over zero, dates with a thirteenth month): every value
// is checked on its own, and one that does not hold up is left out while the
// others are still shown.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace brelvix {

// A calendar date and time of day as the camera's clock showed it; Exif
// records no time zone with it.
struct PxDateTime {
    std::int32_t year = 0;  // 1 to 9999
    std::int32_t month = 0;
    std::int32_t day = 0;
    std::int32_t hour = 0;
    std::int32_t minute = 0;
    std::int32_t second = 0;

    auto operator<=>(const PxDateTime&) const = default;
};

// An unsigned Exif rational; the denominator is never 0 here.
struct PxRational {
    std::uint32_t numerator = 0;
    std::uint32_t denominator = 1;

    double Value() const { return static_cast<double>(numerator) / denominator; }
    bool operator==(const PxRational&) const = default;
};

struct PxExifInfo {
    std::string cameraMake;                  // empty when absent
    std::string cameraModel;                 // empty when absent
    std::string lens;                        // empty when absent
    std::optional<PxRational> exposureTime;  // seconds
    std::optional<double> fNumber;
    std::optional<std::uint32_t> iso;
    std::optional<double> focalLength;   // millimetres, as the lens has it
    std::optional<std::uint16_t> flash;  // the Flash tag's bits, as recorded
    std::optional<PxDateTime> taken;     // when the picture was taken
    // Degrees, south and west negative; both or neither.
    std::optional<std::pair<double, double>> gps;

    bool Empty() const;
};

// The values of an Exif block, as JPEG's APP1 segment holds it ("Exif", two
// zero bytes, then the TIFF structure) or the TIFF structure alone (PNG's
// eXIf chunk, WebP's EXIF chunk). Nothing is found in a missing or unreadable
// block. Blocks beyond 4 MiB are cut there: the values sit in the first
// directories, long before any thumbnail or maker data.
PxExifInfo PxReadExifInfo(const std::uint8_t* data, std::size_t size);

// Only the date the picture was taken, with the same checks; for sorting,
// where nothing else is wanted.
std::optional<PxDateTime> PxExifDateTaken(const std::uint8_t* data, std::size_t size);

// Parses "YYYY:MM:DD HH:MM:SS" as Exif writes dates (a trailing NUL or
// spaces allowed, dashes accepted for the colons of the date); nothing for
// an empty, blank ("    :  :  ") or impossible date.
std::optional<PxDateTime> PxParseExifDate(const std::string& text);

// The values as the machine-readable lines of `pxdump --info`, in this order
// and only where present: camera_make, camera_model, lens, exposure (seconds:
// "1/250", "0.3", "2"), f_number ("2.8"), iso ("100"), focal_length
// (millimetres: "50", "4.25"), taken ("2024-05-17T14:03:22"), gps ("LAT,LON"
// in degrees with six decimals). Texts have control characters replaced by
// spaces, so each value stays on its line.
std::vector<std::pair<std::string, std::string>> PxExifKeyValues(const PxExifInfo& info);

// The same values as a person reads them, each a label and a text, in the
// order of the information panel: "Camera make", "Camera model", "Lens",
// "Exposure time" ("1/250 s"), "F-number" ("f/2.8"), "ISO" ("100"), "Focal
// length" ("50 mm"), "Flash" ("Fired", "Did not fire", "No flash"), "Date
// taken" ("2024-05-17 14:03:22"), "GPS position" ("48.858370, 2.294481").
std::vector<std::pair<std::string, std::string>> PxExifRows(const PxExifInfo& info);

// "2024-05-17T14:03:22".
std::string PxFormatIsoDate(const PxDateTime& date);

}  // namespace brelvix
