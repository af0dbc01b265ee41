#include "orientation.h"

#include <libexif/exif-data.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <utility>
#include <vector>

#include "alpha.h"
#include "pixel_memory.h"

namespace brelvix {

namespace {

using ExifHandle = std::unique_ptr<ExifData, PxReleaseWith<&exif_data_unref>>;

const std::uint8_t kExifHeader[6] = {'E', 'x', 'i', 'f', 0, 0};

// The orientation lives in the first directory, near the start of the
// block; a block larger than this is cut, which leaves the tag readable and
// keeps the work bounded whatever size a file claims.
constexpr std::size_t kMaxExifBytes = std::size_t{1} << 20;

// Every orientation as a quarter-turn code of PxBitmap::Rotate (clockwise)
// followed, or not, by a left-right mirror. Index: orientation - 1.
struct TurnThenMirror {
    std::int32_t clockwiseQuarterTurns;
    bool mirror;
};
constexpr TurnThenMirror kSteps[8] = {{0, false}, {0, true},  {2, false}, {2, true},
                                      {1, true},  {1, false}, {3, true},  {3, false}};

// The same, as one move of a plane. Index: orientation - 1 (1 never moves).
constexpr PxPlaneMove kMoves[8] = {PxPlaneMove::kTurnHalf,
                                   PxPlaneMove::kMirrorLeftRight,
                                   PxPlaneMove::kTurnHalf,
                                   PxPlaneMove::kMirrorTopBottom,
                                   PxPlaneMove::kMirrorMainDiagonal,
                                   PxPlaneMove::kTurnClockwise,
                                   PxPlaneMove::kMirrorOtherDiagonal,
                                   PxPlaneMove::kTurnAntiClockwise};

}  // namespace

std::int32_t PxExifOrientation(const std::uint8_t* data, std::size_t size)
{
    if (data == nullptr || size == 0) {
        return kPxOrientationUpright;
    }
    // libexif wants the block as JPEG keeps it, behind the "Exif" header.
    const bool hasHeader = size >= sizeof kExifHeader && std::memcmp(data, kExifHeader, sizeof kExifHeader) == 0;
    std::vector<std::uint8_t> block;
    if (!hasHeader) {
        block.assign(kExifHeader, kExifHeader + sizeof kExifHeader);
    }
    block.insert(block.end(), data, data + std::min(size, kMaxExifBytes));

    const ExifHandle exif(exif_data_new());
    if (exif == nullptr) {
        return kPxOrientationUpright;
    }
    // As found, nothing added: libexif's option to follow the Exif standard
    // would fill in entries the file does not hold.
    exif_data_unset_option(exif.get(), EXIF_DATA_OPTION_FOLLOW_SPECIFICATION);
    exif_data_load_data(exif.get(), block.data(), static_cast<unsigned int>(block.size()));

    // The first directory describes the picture itself (the second, a thumbnail).
    const ExifEntry* entry = exif_content_get_entry(exif->ifd[EXIF_IFD_0], EXIF_TAG_ORIENTATION);
    if (entry == nullptr || entry->format != EXIF_FORMAT_SHORT || entry->components < 1 || entry->data == nullptr ||
        entry->size < 2) {
        return kPxOrientationUpright;
    }
    const ExifShort value = exif_get_short(entry->data, exif_data_get_byte_order(exif.get()));
    return value >= 1 && value <= 8 ? value : kPxOrientationUpright;
}

std::int32_t PxOrientationFromTurnAndMirror(std::int32_t antiClockwiseQuarterTurns, std::int32_t mirror)
{
    // Turning back by the file's anti-clockwise turns is the same number of
    // clockwise turns from the other side; a top-bottom mirror after a turn
    // is a half turn more and a left-right mirror.
    std::int32_t clockwise = (4 - (antiClockwiseQuarterTurns % 4 + 4) % 4) % 4;
    bool leftRight = mirror == 2;
    if (mirror == 1) {
        clockwise = (clockwise + 2) % 4;
        leftRight = true;
    }
    for (std::int32_t orientation = 1; orientation <= 8; ++orientation) {
        const TurnThenMirror& step = kSteps[orientation - 1];
        if (step.clockwiseQuarterTurns == clockwise && step.mirror == leftRight) {
            return orientation;
        }
    }
    return kPxOrientationUpright;
}

int PxApplyOrientation(PxBitmap& bitmap)
{
    const std::int32_t orientation = bitmap.Orientation();
    if (orientation < 2 || orientation > 8 || bitmap.Pixels() == nullptr) {
        bitmap.SetOrientation(kPxOrientationUpright);
        return 0;
    }
    // Each needs one pass into a fresh store: a turn, a mirror, or (5 and 7)
    // a quarter turn that reads the rows in the other order.
    PxBitmap turned;
    int result = 1;
    switch (orientation) {
        case 2:
            result = bitmap.Flip(false, &turned);
            break;
        case 4:
            result = bitmap.Flip(true, &turned);
            break;
        case 5:
        case 7:
            result = PxMirrorDiagonally(bitmap, orientation == 5, &turned);
            break;
        default:
            result = bitmap.Rotate(kSteps[orientation - 1].clockwiseQuarterTurns, &turned);
            break;
    }
    if (result != 0) {
        return 1;
    }
    // CMYK samples kept for the colour conversion turn with the picture.
    PxPictureMeta& meta = bitmap.Meta();
    if (meta.cmyk) {
        auto moved = PxZeroed<std::uint8_t>(std::uint64_t{4} * static_cast<std::uint64_t>(bitmap.Width()) *
                                            static_cast<std::uint64_t>(bitmap.Height()));
        if (!moved) {
            return 1;
        }
        PxMovePlane(meta.cmyk.get(), bitmap.Width(), bitmap.Height(), 4, kMoves[orientation - 1], moved.get());
        meta.cmyk = std::move(moved);
    }
    bitmap.MoveFrom(turned);
    bitmap.SetOrientation(kPxOrientationUpright);
    return 0;
}

}  // namespace brelvix
