#include "exif_info.h"

#include <libexif/exif-data.h>

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstring>
#include <memory>

#include "pixel_memory.h"

namespace brelvix {

namespace {

using ExifHandle = std::unique_ptr<ExifData, PxReleaseWith<&exif_data_unref>>;

const std::uint8_t kExifHeader[6] = {'E', 'x', 'i', 'f', 0, 0};

// The wanted values live in the first directories; past this a block is
// thumbnails and maker data, and cutting it bounds the work whatever size a
// file claims.
constexpr std::size_t kMaxExifBytes = std::size_t{4} << 20;

// Texts longer than this are not names of cameras or lenses.
constexpr std::size_t kMaxText = 256;

// The tag of the newer standard that holds the ISO value when the older one
// says only "65535 or more".
constexpr std::uint32_t kIsoSaturated = 65535;

// libexif wants the block behind the "Exif" header, as JPEG keeps it.
ExifHandle Load(const std::uint8_t* data, std::size_t size)
{
    if (data == nullptr || size == 0) {
        return ExifHandle();
    }
    size = std::min(size, kMaxExifBytes);
    // Only a block without the header is copied to put one in front.
    std::vector<std::uint8_t> block;
    if (size < sizeof kExifHeader || std::memcmp(data, kExifHeader, sizeof kExifHeader) != 0) {
        block.assign(kExifHeader, kExifHeader + sizeof kExifHeader);
        block.insert(block.end(), data, data + size);
        data = block.data();
        size = block.size();
    }
    ExifHandle exif(exif_data_new());
    if (exif == nullptr) {
        return exif;
    }
    // As found, nothing added: following the standard would make libexif
    // fill in entries the file does not hold.
    exif_data_unset_option(exif.get(), EXIF_DATA_OPTION_FOLLOW_SPECIFICATION);
    exif_data_load_data(exif.get(), data, static_cast<unsigned int>(size));
    return exif;
}

class Reader {
public:
    explicit Reader(ExifData* exif_) : exif(exif_), order(exif_data_get_byte_order(exif_)) {}

    // The entry with its data, when its format is one of the two given and
    // the data really holds `components` values of it.
    const ExifEntry* Entry(ExifIfd ifd, int tag, ExifFormat format, ExifFormat alternative = EXIF_FORMAT_ASCII) const
    {
        const ExifEntry* entry = exif_content_get_entry(exif->ifd[ifd], static_cast<ExifTag>(tag));
        if (entry == nullptr || entry->data == nullptr || entry->components == 0 ||
            (entry->format != format && entry->format != alternative)) {
            return nullptr;
        }
        const std::uint64_t needed = std::uint64_t{exif_format_get_size(entry->format)} * entry->components;
        return needed != 0 && needed <= entry->size ? entry : nullptr;
    }

    // An ASCII value up to its first NUL, control characters made spaces,
    // blanks at either end dropped.
    std::string Text(ExifIfd ifd, int tag) const
    {
        const ExifEntry* entry = Entry(ifd, tag, EXIF_FORMAT_ASCII);
        if (entry == nullptr) {
            return std::string();
        }
        const auto* bytes = reinterpret_cast<const char*>(entry->data);
        const std::size_t length = std::min<std::size_t>(entry->components, entry->size);
        std::string text(bytes, std::find(bytes, bytes + length, '\0'));
        for (char& c : text) {
            const auto byte = static_cast<unsigned char>(c);
            if (byte < 0x20 || byte == 0x7F) {
                c = ' ';
            }
        }
        const std::size_t first = text.find_first_not_of(' ');
        if (first == std::string::npos) {
            return std::string();
        }
        text = text.substr(first, text.find_last_not_of(' ') - first + 1);
        return text.size() <= kMaxText ? text : std::string();
    }

    // The first value of a SHORT or LONG entry.
    std::optional<std::uint32_t> Number(ExifIfd ifd, int tag) const
    {
        const ExifEntry* entry = Entry(ifd, tag, EXIF_FORMAT_SHORT, EXIF_FORMAT_LONG);
        if (entry == nullptr) {
            return std::nullopt;
        }
        return entry->format == EXIF_FORMAT_SHORT ? exif_get_short(entry->data, order)
                                                  : exif_get_long(entry->data, order);
    }

    // The index-th value of a RATIONAL entry, when its denominator is not 0.
    std::optional<PxRational> Rational(ExifIfd ifd, int tag, unsigned index = 0, unsigned count = 1) const
    {
        const ExifEntry* entry = Entry(ifd, tag, EXIF_FORMAT_RATIONAL, EXIF_FORMAT_RATIONAL);
        if (entry == nullptr || entry->components < count || index >= entry->components) {
            return std::nullopt;
        }
        const ExifRational value = exif_get_rational(entry->data + 8 * index, order);
        if (value.denominator == 0) {
            return std::nullopt;
        }
        return PxRational{value.numerator, value.denominator};
    }

    // A positive rational as a number.
    std::optional<double> Positive(ExifIfd ifd, int tag) const
    {
        const std::optional<PxRational> value = Rational(ifd, tag);
        if (!value || value->numerator == 0) {
            return std::nullopt;
        }
        return value->Value();
    }

    // Degrees from the three rationals (degrees, minutes, seconds) of a GPS
    // coordinate and the letter of its reference.
    std::optional<double> Coordinate(int tag, int referenceTag, char positive, char negative, double limit) const
    {
        const std::string reference = Text(EXIF_IFD_GPS, referenceTag);
        if (reference.size() != 1 || (reference[0] != positive && reference[0] != negative)) {
            return std::nullopt;
        }
        double parts[3] = {};
        for (unsigned i = 0; i < 3; ++i) {
            const std::optional<PxRational> part = Rational(EXIF_IFD_GPS, tag, i, 3);
            if (!part) {
                return std::nullopt;
            }
            parts[i] = part->Value();
        }
        if (parts[1] >= 60 || parts[2] >= 60) {
            return std::nullopt;
        }
        const double degrees = parts[0] + parts[1] / 60 + parts[2] / 3600;
        if (degrees > limit) {
            return std::nullopt;
        }
        return reference[0] == negative ? -degrees : degrees;
    }

    std::optional<PxDateTime> Taken() const
    {
        // The moment the shutter opened; a scanner or a later copy records
        // only when it digitised the picture.
        for (const int tag : {EXIF_TAG_DATE_TIME_ORIGINAL, EXIF_TAG_DATE_TIME_DIGITIZED}) {
            if (std::optional<PxDateTime> date = PxParseExifDate(Text(EXIF_IFD_EXIF, tag))) {
                return date;
            }
        }
        return std::nullopt;
    }

private:
    ExifData* exif;
    ExifByteOrder order;
};

bool IsLeapYear(std::int32_t year)
{
    return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
}

// Reads `count` digits at `at`; -1 when any is not a digit.
std::int32_t Digits(const std::string& text, std::size_t at, std::size_t count)
{
    std::int32_t value = 0;
    for (std::size_t i = at; i < at + count; ++i) {
        if (text[i] < '0' || text[i] > '9') {
            return -1;
        }
        value = value * 10 + (text[i] - '0');
    }
    return value;
}

// At most `decimals` decimals, trailing zeros dropped unless `keepZeros`,
// always with a point whatever the process's locale says.
std::string Decimal(double value, int decimals, bool keepZeros = false)
{
    char text[64];
    const std::to_chars_result result =
        std::to_chars(text, text + sizeof text, value, std::chars_format::fixed, decimals);
    std::string out(text, result.ec == std::errc() ? result.ptr : text);
    if (!keepZeros && out.find('.') != std::string::npos) {
        while (out.back() == '0') {
            out.pop_back();
        }
        if (out.back() == '.') {
            out.pop_back();
        }
    }
    return out;
}

// Short times as photographers write them ("1/250"); a reciprocal that is
// not close to a whole number ("3/10") stays a decimal.
std::string Exposure(const PxRational& time)
{
    const double seconds = time.Value();
    if (seconds < 1 && time.numerator != 0) {
        const double reciprocal = static_cast<double>(time.denominator) / time.numerator;
        const double whole = std::round(reciprocal);
        if (std::fabs(reciprocal - whole) <= reciprocal / 100) {
            return "1/" + Decimal(whole, 0);
        }
    }
    return Decimal(seconds, 3);
}

std::string Two(std::int32_t value)
{
    return {static_cast<char>('0' + value / 10 % 10), static_cast<char>('0' + value % 10)};
}

std::string Date(const PxDateTime& date, char separator)
{
    std::string year = std::to_string(date.year);
    year.insert(0, year.size() < 4 ? 4 - year.size() : 0, '0');
    return year + '-' + Two(date.month) + '-' + Two(date.day) + separator + Two(date.hour) + ':' + Two(date.minute) +
           ':' + Two(date.second);
}

}  // namespace

bool PxExifInfo::Empty() const
{
    return cameraMake.empty() && cameraModel.empty() && lens.empty() && !exposureTime && !fNumber && !iso &&
           !focalLength && !flash && !taken && !gps;
}

std::optional<PxDateTime> PxParseExifDate(const std::string& text)
{
    std::string trimmed = text.substr(0, text.find('\0'));
    while (!trimmed.empty() && trimmed.back() == ' ') {
        trimmed.pop_back();
    }
    // "YYYY:MM:DD HH:MM:SS"
    if (trimmed.size() != 19 || trimmed[4] != trimmed[7] || (trimmed[4] != ':' && trimmed[4] != '-') ||
        (trimmed[10] != ' ' && trimmed[10] != 'T') || trimmed[13] != ':' || trimmed[16] != ':') {
        return std::nullopt;
    }
    PxDateTime date;
    date.year = Digits(trimmed, 0, 4);
    date.month = Digits(trimmed, 5, 2);
    date.day = Digits(trimmed, 8, 2);
    date.hour = Digits(trimmed, 11, 2);
    date.minute = Digits(trimmed, 14, 2);
    date.second = Digits(trimmed, 17, 2);
    static constexpr std::int32_t kDays[12] = {31, 29, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    if (date.year < 1 || date.month < 1 || date.month > 12 || date.day < 1 || date.day > kDays[date.month - 1] ||
        (date.month == 2 && date.day == 29 && !IsLeapYear(date.year)) || date.hour < 0 || date.hour > 23 ||
        date.minute < 0 || date.minute > 59 || date.second < 0 || date.second > 59) {
        return std::nullopt;
    }
    return date;
}

PxExifInfo PxReadExifInfo(const std::uint8_t* data, std::size_t size)
{
    PxExifInfo info;
    const ExifHandle exif = Load(data, size);
    if (exif == nullptr) {
        return info;
    }
    const Reader read(exif.get());
    info.cameraMake = read.Text(EXIF_IFD_0, EXIF_TAG_MAKE);
    info.cameraModel = read.Text(EXIF_IFD_0, EXIF_TAG_MODEL);
    info.lens = read.Text(EXIF_IFD_EXIF, EXIF_TAG_LENS_MODEL);
    if (const std::optional<PxRational> time = read.Rational(EXIF_IFD_EXIF, EXIF_TAG_EXPOSURE_TIME);
        time && time->numerator != 0) {
        info.exposureTime = time;
    }
    info.fNumber = read.Positive(EXIF_IFD_EXIF, EXIF_TAG_FNUMBER);
    info.focalLength = read.Positive(EXIF_IFD_EXIF, EXIF_TAG_FOCAL_LENGTH);
    std::optional<std::uint32_t> iso = read.Number(EXIF_IFD_EXIF, EXIF_TAG_ISO_SPEED_RATINGS);
    if (iso == kIsoSaturated || !iso) {
        if (const std::optional<std::uint32_t> exact = read.Number(EXIF_IFD_EXIF, EXIF_TAG_ISO_SPEED);
            exact && *exact != 0) {
            iso = exact;
        }
    }
    if (iso && *iso != 0) {
        info.iso = iso;
    }
    if (const std::optional<std::uint32_t> flash = read.Number(EXIF_IFD_EXIF, EXIF_TAG_FLASH);
        flash && *flash <= 0xFFFF) {
        info.flash = static_cast<std::uint16_t>(*flash);
    }
    info.taken = read.Taken();
    const std::optional<double> latitude =
        read.Coordinate(EXIF_TAG_GPS_LATITUDE, EXIF_TAG_GPS_LATITUDE_REF, 'N', 'S', 90);
    const std::optional<double> longitude =
        read.Coordinate(EXIF_TAG_GPS_LONGITUDE, EXIF_TAG_GPS_LONGITUDE_REF, 'E', 'W', 180);
    if (latitude && longitude) {
        info.gps.emplace(*latitude, *longitude);
    }
    return info;
}

std::optional<PxDateTime> PxExifDateTaken(const std::uint8_t* data, std::size_t size)
{
    const ExifHandle exif = Load(data, size);
    if (exif == nullptr) {
        return std::nullopt;
    }
    return Reader(exif.get()).Taken();
}

std::string PxFormatIsoDate(const PxDateTime& date)
{
    return Date(date, 'T');
}

std::vector<std::pair<std::string, std::string>> PxExifKeyValues(const PxExifInfo& info)
{
    std::vector<std::pair<std::string, std::string>> lines;
    const auto add = [&lines](const char* key, const std::string& value) {
        if (!value.empty()) {
            lines.emplace_back(key, value);
        }
    };
    add("camera_make", info.cameraMake);
    add("camera_model", info.cameraModel);
    add("lens", info.lens);
    add("exposure", info.exposureTime ? Exposure(*info.exposureTime) : "");
    add("f_number", info.fNumber ? Decimal(*info.fNumber, 2) : "");
    add("iso", info.iso ? std::to_string(*info.iso) : "");
    add("focal_length", info.focalLength ? Decimal(*info.focalLength, 2) : "");
    add("taken", info.taken ? PxFormatIsoDate(*info.taken) : "");
    add("gps", info.gps ? Decimal(info.gps->first, 6, true) + ',' + Decimal(info.gps->second, 6, true) : "");
    return lines;
}

std::vector<std::pair<std::string, std::string>> PxExifRows(const PxExifInfo& info)
{
    std::vector<std::pair<std::string, std::string>> rows;
    const auto add = [&rows](const char* label, const std::string& value) {
        if (!value.empty()) {
            rows.emplace_back(label, value);
        }
    };
    add("Camera make", info.cameraMake);
    add("Camera model", info.cameraModel);
    add("Lens", info.lens);
    add("Exposure time", info.exposureTime ? Exposure(*info.exposureTime) + " s" : "");
    add("F-number", info.fNumber ? "f/" + Decimal(*info.fNumber, 1) : "");
    add("ISO", info.iso ? std::to_string(*info.iso) : "");
    add("Focal length", info.focalLength ? Decimal(*info.focalLength, 1) + " mm" : "");
    if (info.flash) {
        // Bit 5: the camera has no flash; bit 0: the flash fired.
        add("Flash", (*info.flash & 0x20) != 0 ? "No flash" : (*info.flash & 1) != 0 ? "Fired" : "Did not fire");
    }
    add("Date taken", info.taken ? Date(*info.taken, ' ') : "");
    if (info.gps) {
        add("GPS position", Decimal(info.gps->first, 6, true) + ", " + Decimal(info.gps->second, 6, true));
    }
    return rows;
}

}  // namespace brelvix
