#include "decoder_jpeg.h"

#include <algorithm>
#include <csetjmp>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>
#include <utility>

// After <cstdio>: jpeglib.h uses FILE without including it.
#include <jpeglib.h>

// After jpeglib.h, whose types its macros use.
#include <jerror.h>

#include "color_profile.h"
#include "jump_guard.h"
#include "orientation.h"

namespace brelvix {

namespace {

// libjpeg's error manager extended by where to leave the library to. A fatal
// library error writes its message once to standard error, sets `failed` and
// leaves through `jump`; it never ends the process.
struct ErrorManager {
    jpeg_error_mgr pub;  // first: libjpeg sees only this part
    PxJumpTarget jump;
    bool failed = false;
    PxLoadError reason = PxLoadError::Damaged;  // what the fatal error says about the file
};

// Served when the file is used up: an end-of-image marker, so that a
// truncated file ends the way a complete one does and the library fills the
// missing part of the picture itself instead of waiting for more data.
const JOCTET kFakeEoi[2] = {0xFF, JPEG_EOI};

// Memory libjpeg may take for whole-image coefficient buffers (progressive
// and multi-scan files). Enough for any picture the store cap lets through
// in the usual 4:2:0 layout; beyond it the library fails instead of paging.
constexpr long kMaxLibraryMemory = static_cast<long>(kPxMaxStoreBytes / 2);

// Our own messages, numbered after libjpeg's own so that they travel the
// same path (error_exit, output_message) as the library's.
constexpr int kMessageTooManyScans = JMSG_LASTMSGCODE + 1;
constexpr int kMessageTooCostly = JMSG_LASTMSGCODE + 2;
const char* const kAddonMessages[] = {
    "Progressive JPEG file has more than %d scans",
    "Progressive JPEG file too costly to decode: %s",
};

// The final output pass of a multi-scan file (inverse DCT, upsampling,
// colour conversion, copy) costs about as much per block as this many scan
// passes; it weighs the two phases of such a decode in its progress.
constexpr std::uint64_t kOutputPassWeight = 4;

// What a fatal libjpeg error says about the file; anything not named here
// is data that contradicts the format.
PxLoadError ReasonOf(int messageCode)
{
    switch (messageCode) {
        case JERR_OUT_OF_MEMORY:
            return PxLoadError::OutOfMemory;
        // The library's memory limit (kMaxLibraryMemory) and our own limits.
        case JERR_NO_BACKING_STORE:
        case JERR_IMAGE_TOO_BIG:
        case JERR_WIDTH_OVERFLOW:
        case kMessageTooManyScans:
        case kMessageTooCostly:
            return PxLoadError::TooLarge;
        // Processes, precisions and codings this build of the library lacks.
        case JERR_ARITH_NOTIMPL:
        case JERR_BAD_PRECISION:
        case JERR_COMPONENT_COUNT:
        case JERR_CONVERSION_NOTIMPL:
        case JERR_NOTIMPL:
        case JERR_NOT_COMPILED:
        case JERR_SOF_UNSUPPORTED:
            return PxLoadError::Unsupported;
        default:
            return PxLoadError::Damaged;
    }
}

// libjpeg's default ends the process; we write the message once and leave
// the library through the jump target of the call in progress.
[[noreturn]] void ErrorExit(j_common_ptr common)
{
    (*common->err->output_message)(common);
    // ErrorManager starts with the jpeg_error_mgr that libjpeg knows.
    auto* manager = reinterpret_cast<ErrorManager*>(common->err);
    manager->failed = true;
    manager->reason = ReasonOf(common->err->msg_code);
    // A height of 0 in the frame header is the one empty picture that is a
    // variant (the height comes later, in a segment libjpeg does not read);
    // any other empty side is damage.
    if (common->err->msg_code == JERR_EMPTY_IMAGE && common->is_decompressor &&
        reinterpret_cast<j_decompress_ptr>(common)->image_width > 0 &&
        reinterpret_cast<j_decompress_ptr>(common)->num_components > 0) {
        manager->reason = PxLoadError::Unsupported;
    }
    PxJumpOut(manager->jump);
}

// libjpeg's progress monitor extended by what the decoder watches. libjpeg
// calls it before each row of blocks it reads in every scan of a multi-scan
// file and before every scanline it delivers, so it sees the load's cancel
// within a few milliseconds of work whatever the file.
struct Monitor {
    jpeg_progress_mgr pub;  // first: libjpeg sees only this part
    PxLoadControl* control = nullptr;
    std::uint64_t blockLimit = 0;
    // The scans of a multi-scan file are read inside jpeg_start_decompress.
    bool readingScans = false;
    int scan = 0;                    // the scan being read
    std::uint64_t blocksBefore = 0;  // blocks of the scans before it
    std::uint64_t scanBlocks = 0;    // blocks of the scan itself
    // Blocks of every scan, as counted up front; share of the progress
    // that reading them takes.
    std::uint64_t allScanBlocks = 0;
    int scanShare = 0;
};

std::uint64_t ComponentBlocks(const jpeg_component_info& component)
{
    return std::uint64_t{component.width_in_blocks} * component.height_in_blocks;
}

std::uint64_t BlocksOfScan(const jpeg_decompress_struct& decompressor)
{
    std::uint64_t blocks = 0;
    for (int i = 0; i < decompressor.comps_in_scan && i < MAX_COMPS_IN_SCAN; ++i) {
        blocks += ComponentBlocks(*decompressor.cur_comp_info[i]);
    }
    return blocks;
}

// Leaves the library when `scans` scans that cover `blocks` blocks in all
// are over either limit.
void CheckLimits(j_decompress_ptr decompressor, int scans, std::uint64_t blocks, std::uint64_t limit)
{
    if (scans > kPxJpegScanLimit) {
        ERREXIT1(decompressor, kMessageTooManyScans, kPxJpegScanLimit);
    }
    if (blocks > limit) {
        char detail[JMSG_STR_PARM_MAX];
        std::snprintf(detail, sizeof detail, "%d scans, %llu blocks, limit %llu", scans,
                      static_cast<unsigned long long>(blocks), static_cast<unsigned long long>(limit));
        ERREXITS(decompressor, kMessageTooCostly, detail);
    }
}

void Watch(j_common_ptr common)
{
    auto* decompressor = reinterpret_cast<j_decompress_ptr>(common);
    auto* monitor = reinterpret_cast<Monitor*>(decompressor->progress);
    if (monitor->control != nullptr && monitor->control->Cancelled()) {
        // No message: nothing is wrong with the file.
        auto* manager = reinterpret_cast<ErrorManager*>(common->err);
        manager->failed = true;
        PxJumpOut(manager->jump);
    }
    if (monitor->readingScans) {
        if (decompressor->input_scan_number != monitor->scan) {
            monitor->scan = decompressor->input_scan_number;
            monitor->blocksBefore += monitor->scanBlocks;
            monitor->scanBlocks = BlocksOfScan(*decompressor);
            // Checked up front already (CheckScanCost); checked again here
            // so that the limits hold for what libjpeg actually reads.
            CheckLimits(decompressor, monitor->scan, monitor->blocksBefore + monitor->scanBlocks, monitor->blockLimit);
        }
        // Each scan goes through every row of blocks (iMCU row) of the
        // picture; the scans take the first scanShare permille.
        const std::uint64_t rows = std::max<std::uint64_t>(decompressor->total_iMCU_rows, 1);
        const std::uint64_t done = monitor->blocksBefore + monitor->scanBlocks * decompressor->input_iMCU_row / rows;
        const std::uint64_t all = std::max<std::uint64_t>(monitor->allScanBlocks, 1);
        PxLoadGoesOn(monitor->control, static_cast<std::int64_t>(done * monitor->scanShare),
                     static_cast<std::int64_t>(all * 1000));
        return;
    }
    // The output pass delivers the scanlines and takes the rest.
    const std::int64_t lines = std::max<std::int64_t>(decompressor->output_height, 1);
    const std::int64_t share = monitor->scanShare;
    PxLoadGoesOn(monitor->control, share * lines + (1000 - share) * std::int64_t{decompressor->output_scanline},
                 1000 * lines);
}

// The share of the progress, in permille, that reading `scanBlocks` blocks
// of scans takes before the output pass of a multi-scan file.
int ScanShare(const jpeg_decompress_struct& decompressor, std::uint64_t scanBlocks)
{
    std::uint64_t blocks = 0;
    for (int c = 0; c < decompressor.num_components; ++c) {
        blocks += ComponentBlocks(decompressor.comp_info[c]);
    }
    const std::uint64_t all = scanBlocks + kOutputPassWeight * blocks;
    return all > 0 ? static_cast<int>(1000 * scanBlocks / all) : 0;
}

// Counts the scans of a multi-scan file and the blocks they cover, from the
// first scan (where the header read stopped) to the end of the image, and
// leaves the library when they are over the limits: a costly file fails
// before a single scan is decoded. Only the markers are read; entropy-coded
// data is passed over from one 0xFF byte to the next.
std::uint64_t CheckScanCost(j_decompress_ptr decompressor, std::uint64_t limit)
{
    const JOCTET* data = decompressor->src->next_input_byte;
    const std::size_t length = decompressor->src->bytes_in_buffer;
    int scans = 1;
    std::uint64_t blocks = BlocksOfScan(*decompressor);
    std::size_t at = 0;
    // Past the scan limit the count need not go on.
    while (scans <= kPxJpegScanLimit) {
        const void* next = std::memchr(data + at, 0xFF, length - at);
        if (next == nullptr) {
            break;
        }
        at = static_cast<std::size_t>(static_cast<const JOCTET*>(next) - data);
        if (length - at < 2) {
            break;
        }
        const JOCTET code = data[at + 1];
        // Fill bytes, stuffed zeros and restart markers belong to the data;
        // SOI and TEM have no length.
        if (code == 0xFF) {
            at += 1;
            continue;
        }
        if (code == 0x00 || (code >= JPEG_RST0 && code <= JPEG_RST0 + 7) || code == 0x01 || code == 0xD8) {
            at += 2;
            continue;
        }
        if (code == JPEG_EOI || length - at < 4) {
            break;
        }
        const std::size_t segment = (std::size_t{data[at + 2]} << 8) | data[at + 3];
        if (segment < 2 || length - at - 2 < segment) {
            break;  // libjpeg stops here too
        }
        if (code == 0xDA && segment >= 3) {
            ++scans;
            const int count = data[at + 4];
            for (int i = 0; i < count && 3 + 2 * static_cast<std::size_t>(i) < segment; ++i) {
                const int id = data[at + 5 + 2 * i];
                for (int c = 0; c < decompressor->num_components; ++c) {
                    if (decompressor->comp_info[c].component_id == id) {
                        blocks += ComponentBlocks(decompressor->comp_info[c]);
                        break;
                    }
                }
            }
        }
        at += 2 + segment;
    }
    CheckLimits(decompressor, scans, blocks, limit);
    return blocks;
}

void InitSource(j_decompress_ptr /*decompressor*/) {}

void TermSource(j_decompress_ptr /*decompressor*/) {}

boolean FillInputBuffer(j_decompress_ptr decompressor)
{
    WARNMS(decompressor, JWRN_JPEG_EOF);
    decompressor->src->next_input_byte = kFakeEoi;
    decompressor->src->bytes_in_buffer = sizeof kFakeEoi;
    return TRUE;
}

void SkipInputData(j_decompress_ptr decompressor, long count)
{
    // The library never asks to skip backwards; a count that could move the
    // read position before the buffer is ignored rather than trusted.
    if (count <= 0) {
        return;
    }
    jpeg_source_mgr* source = decompressor->src;
    if (static_cast<unsigned long>(count) < source->bytes_in_buffer) {
        source->next_input_byte += count;
        source->bytes_in_buffer -= static_cast<std::size_t>(count);
    } else {
        FillInputBuffer(decompressor);
    }
}

// Serves `length` bytes from `buffer` and, once they are used up, a
// synthetic end-of-image marker with the library's "Premature end of JPEG
// file" warning: the library never suspends.
void SetMemorySource(j_decompress_ptr target, const JOCTET* buffer, std::size_t length)
{
    if (target->src == nullptr) {
        target->src = static_cast<jpeg_source_mgr*>((*target->mem->alloc_small)(
            reinterpret_cast<j_common_ptr>(target), JPOOL_PERMANENT, sizeof(jpeg_source_mgr)));
    }
    jpeg_source_mgr* source = target->src;
    source->init_source = InitSource;
    source->fill_input_buffer = FillInputBuffer;
    source->skip_input_data = SkipInputData;
    source->resync_to_restart = jpeg_resync_to_restart;
    source->term_source = TermSource;
    source->next_input_byte = buffer;
    source->bytes_in_buffer = length;
}

// a * b / 255, rounded, for bytes.
inline std::uint8_t Scale255(unsigned a, unsigned b)
{
    const unsigned t = a * b + 128;
    return static_cast<std::uint8_t>((t + (t >> 8)) >> 8);
}

// Cyan, magenta, yellow, black per pixel into blue, green, red. Files with an
// Adobe marker (which includes every YCCK file) store the four values
// inverted, 255 meaning no ink; the rest store the amount of ink.
void CopyCmykRow(const JSAMPLE* source, std::uint8_t* target, std::int64_t width, bool inverted)
{
    const unsigned flip = inverted ? 0 : 255;
    for (std::int64_t j = 0; j < width; ++j) {
        const unsigned c = source[4 * j] ^ flip;
        const unsigned m = source[4 * j + 1] ^ flip;
        const unsigned y = source[4 * j + 2] ^ flip;
        const unsigned k = source[4 * j + 3] ^ flip;
        target[3 * j] = Scale255(y, k);
        target[3 * j + 1] = Scale255(m, k);
        target[3 * j + 2] = Scale255(c, k);
    }
}

// One grey value per pixel into three equal bytes. Also used for the first
// component of files whose components the library cannot interpret.
void CopyGrayRow(const JSAMPLE* source, std::int64_t step, std::uint8_t* target, std::int64_t width)
{
    for (std::int64_t j = 0; j < width; ++j) {
        const std::uint8_t value = source[step * j];
        target[3 * j] = value;
        target[3 * j + 1] = value;
        target[3 * j + 2] = value;
    }
}

// The orientation in the first Exif segment among the saved ones.
std::int32_t ExifOrientation(const jpeg_decompress_struct& decompressor)
{
    for (jpeg_saved_marker_ptr marker = decompressor.marker_list; marker != nullptr; marker = marker->next) {
        if (marker->marker == JPEG_APP0 + 1 && marker->data_length >= 6 &&
            std::memcmp(marker->data, "Exif\0\0", 6) == 0) {
            return PxExifOrientation(marker->data, marker->data_length);
        }
    }
    return kPxOrientationUpright;
}

// What the file says besides the pixels: the samples' colour space and
// depth, the Exif block and the colour profile (APP2 segments, which
// libjpeg puts together in their order).
void ReadPictureMeta(j_decompress_ptr decompressor, PxPictureMeta& meta)
{
    switch (decompressor->out_color_space) {
        case JCS_GRAYSCALE:
            meta.space = PxSampleSpace::kGrey;
            break;
        case JCS_CMYK:
            meta.space = PxSampleSpace::kCmyk;
            break;
        default:
            meta.space = PxSampleSpace::kRgb;
            break;
    }
    meta.bitsPerSample = decompressor->data_precision;
    for (jpeg_saved_marker_ptr marker = decompressor->marker_list; marker != nullptr; marker = marker->next) {
        if (marker->marker == JPEG_APP0 + 1 && marker->data_length > 6 &&
            std::memcmp(marker->data, "Exif\0\0", 6) == 0) {
            meta.exif.assign(marker->data + 6, marker->data + marker->data_length);
            break;
        }
    }
    JOCTET* profile = nullptr;
    unsigned int length = 0;
    if (jpeg_read_icc_profile(decompressor, &profile, &length)) {
        PxProfileFromIcc(profile, length, meta.space, &meta.profile);
    }
    std::free(profile);
}

// Keeps a row of CMYK samples, as amounts of ink, for the conversion
// through the file's profile.
void KeepCmykRow(const JSAMPLE* source, std::uint8_t* target, std::int64_t width, bool inverted)
{
    const std::uint8_t flip = inverted ? 0xFF : 0;
    for (std::int64_t j = 0; j < 4 * width; ++j) {
        target[j] = static_cast<std::uint8_t>(source[j] ^ flip);
    }
}

}  // namespace

struct PxDecoderJPEG::Library {
    Library()
    {
        decompressor.err = jpeg_std_error(&errors.pub);
        errors.pub.error_exit = ErrorExit;
        errors.pub.addon_message_table = kAddonMessages;
        errors.pub.first_addon_message = kMessageTooManyScans;
        errors.pub.last_addon_message = kMessageTooCostly;
        created = Guarded([this] { jpeg_create_decompress(&decompressor); });
    }
    // Safe after a failed creation too: it only releases what exists.
    ~Library() { jpeg_destroy_decompress(&decompressor); }
    Library(const Library&) = delete;
    Library& operator=(const Library&) = delete;

    // A stretch of library calls; false when libjpeg failed fatally in it
    // (its message has then been written).
    template <typename Step>
    bool Guarded(Step&& step)
    {
        return PxGuarded(errors.jump, std::forward<Step>(step));
    }

    jpeg_decompress_struct decompressor{};
    ErrorManager errors{};
    Monitor monitor{};
    bool created = false;  // jpeg_create_decompress succeeded
};

PxDecoderJPEG::PxDecoderJPEG(std::uint64_t limit) : library(new (std::nothrow) Library), blockLimit(limit)
{
    if (library != nullptr && !library->created) {
        library.reset();
    }
}

PxDecoderJPEG::~PxDecoderJPEG() = default;

int PxDecoderJPEG::ReadHeader(PxFileStream& /*stream*/, PxBitmap& bitmap)
{
    if (!scratch || library == nullptr) {
        return 1;
    }
    jpeg_decompress_struct& decompressor = library->decompressor;
    const bool read = library->Guarded([&] {
        SetMemorySource(&decompressor, scratch.get(), fileLength);
        // Cameras record the picture's orientation in the Exif segment;
        // colour profiles come in APP2 segments.
        jpeg_save_markers(&decompressor, JPEG_APP0 + 1, 0xFFFF);
        jpeg_save_markers(&decompressor, JPEG_APP0 + 2, 0xFFFF);
        jpeg_read_header(&decompressor, TRUE);
        ReadPictureMeta(&decompressor, bitmap.Meta());
    });
    if (!read) {
        jpeg_abort_decompress(&decompressor);
        return 1;
    }
    decompressor.progress = nullptr;
    bitmap.SetOrientation(ExifOrientation(decompressor));
    const std::int32_t depth = decompressor.out_color_space == JCS_GRAYSCALE ? 8 : 32;
    // libjpeg caps both dimensions at 65500, so they fit.
    bitmap.SetDimensions(static_cast<std::int32_t>(decompressor.image_width),
                         static_cast<std::int32_t>(decompressor.image_height), depth);
    return 0;
}

int PxDecoderJPEG::Decode(PxFileStream& stream, PxBitmap& bitmap)
{
    if (library == nullptr) {
        return Fail(PxLoadError::OutOfMemory);
    }
    // Only what actually arrived is handed to the library; a file that
    // shrank or failed to read ends early, like a truncated one.
    std::uint64_t delivered = 0;
    if (!ReadWholeFileIntoScratch(stream, &delivered)) {
        return 1;
    }
    fileLength = static_cast<std::size_t>(delivered);
    PxTrace("PxDecoderJPEG - read data to buffer");

    ReadHeader(stream, bitmap);
    PxTrace("PxDecoderJPEG - got image header");
    if (library->errors.failed) {
        Abandon();
        return Fail(library->errors.reason);
    }

    jpeg_decompress_struct& decompressor = library->decompressor;
    decompressor.do_fancy_upsampling = FALSE;
    decompressor.dct_method = JDCT_FLOAT;
    // Three-component files (YCbCr or RGB-coded) come straight out in the
    // store's byte order plus one ignored byte. CMYK and YCCK files refuse
    // that layout; they come out as CMYK and are converted here.
    if (decompressor.out_color_space == JCS_RGB) {
        decompressor.out_color_space = JCS_EXT_BGRX;
    }
    decompressor.mem->max_memory_to_use = kMaxLibraryMemory;
    if (reduction != nullptr && !Reduce(bitmap)) {
        Abandon();
        return Fail(library->errors.failed ? library->errors.reason : PxLoadError::Unsupported);
    }
    Monitor& monitor = library->monitor;
    monitor.pub.progress_monitor = Watch;
    monitor.control = control;
    monitor.blockLimit = blockLimit;
    decompressor.progress = &monitor.pub;

    if (CreateStore(bitmap) != 0) {
        return 1;
    }
    const bool started = library->Guarded([&] {
        if (jpeg_has_multiple_scans(&decompressor)) {
            monitor.allScanBlocks = CheckScanCost(&decompressor, blockLimit);
            monitor.scanShare = ScanShare(decompressor, monitor.allScanBlocks);
        }
        monitor.readingScans = true;
        jpeg_start_decompress(&decompressor);
    });
    monitor.readingScans = false;
    if (!started) {
        Abandon();
        return Fail(library->errors.reason);
    }
    if (decompressor.out_color_space == JCS_GRAYSCALE) {
        ReadGrayRows(bitmap);
    } else {
        ReadColorRows(bitmap);
    }
    if (library->errors.failed) {
        Abandon();
        return Fail(library->errors.reason);
    }
    // Every scanline is in the store. What follows the picture (trailing
    // markers up to the end-of-image) no longer matters: a fatal error there
    // has written its message, and the complete picture stays.
    if (!library->Guarded([&] { jpeg_finish_decompress(&decompressor); })) {
        jpeg_abort_decompress(&decompressor);
    }
    PxTrace("PxDecoderJPEG - decoded image");
    scratch.reset();
    return 0;
}

bool PxDecoderJPEG::Reduce(PxBitmap& bitmap)
{
    reduction->fileWidth = bitmap.Width();
    reduction->fileHeight = bitmap.Height();
    // Orientations 5 to 8 turn the picture by a quarter: its stored width is
    // shown as its height.
    const bool transposed = reduction->upright && bitmap.Orientation() >= 5 && bitmap.Orientation() <= 8;
    const std::int32_t denominator = PxReductionDenominator(
        bitmap.Width(), bitmap.Height(), transposed ? reduction->atLeastHeight : reduction->atLeastWidth,
        transposed ? reduction->atLeastWidth : reduction->atLeastHeight);
    if (denominator == 1) {
        return false;
    }
    jpeg_decompress_struct& decompressor = library->decompressor;
    decompressor.scale_num = 1;
    decompressor.scale_denom = static_cast<unsigned int>(denominator);
    if (!library->Guarded([&] { jpeg_calc_output_dimensions(&decompressor); })) {
        return false;
    }
    bitmap.SetDimensions(static_cast<std::int32_t>(decompressor.output_width),
                         static_cast<std::int32_t>(decompressor.output_height), bitmap.BitsPerPixel());
    return true;
}

int PxDecoderJPEG::ReadGrayRows(PxBitmap& bitmap)
{
    return ReadRows(bitmap, true);
}

int PxDecoderJPEG::ReadColorRows(PxBitmap& bitmap)
{
    return ReadRows(bitmap, false);
}

int PxDecoderJPEG::ReadRows(PxBitmap& bitmap, bool gray)
{
    if (!scratch || library == nullptr || bitmap.Pixels() == nullptr) {
        return 1;
    }
    jpeg_decompress_struct& decompressor = library->decompressor;
    const std::int64_t height = bitmap.Height();
    // The output size equals the image size at scale 1/1; taking the smaller
    // of the two keeps every write inside both the row buffer and the store.
    std::int64_t width = bitmap.Width();
    if (static_cast<std::int64_t>(decompressor.output_width) < width) {
        width = decompressor.output_width;
    }
    // Sized by what the library delivers per pixel, whatever the file holds.
    const std::int64_t components = decompressor.output_components;
    const auto row =
        PxZeroed<JSAMPLE>(components > 0 ? decompressor.output_width * static_cast<std::uint64_t>(components) : 0);
    if (!row) {
        return 1;
    }
    const J_COLOR_SPACE space = decompressor.out_color_space;
    const bool inverted = decompressor.saw_Adobe_marker != FALSE;
    // CMYK files with a profile keep their samples: the profile converts
    // them, which the plain conversion into the store cannot stand in for.
    PxPictureMeta& meta = bitmap.Meta();
    if (space == JCS_CMYK && components == 4 && !meta.profile.icc.empty()) {
        meta.cmyk = PxZeroed<std::uint8_t>(4 * static_cast<std::uint64_t>(width) * static_cast<std::uint64_t>(height));
        if (!meta.cmyk) {
            meta.profile.Clear();
        }
    }
    const bool done = library->Guarded([&] {
        JSAMPROW rows[1] = {row.get()};
        for (std::int64_t i = 0; i < height; ++i) {
            jpeg_read_scanlines(&decompressor, rows, 1);
            // The first scanline is the top of the picture: the last store row.
            std::uint8_t* target = PxStoreRow(bitmap, height - 1 - i);
            if (gray) {
                CopyGrayRow(row.get(), 1, target, width);
            } else if (space == JCS_EXT_BGRX && components == 4) {
                PxCopyBgrxRow(row.get(), target, width);
            } else if (space == JCS_CMYK && components == 4) {
                CopyCmykRow(row.get(), target, width, inverted);
                if (meta.cmyk) {
                    KeepCmykRow(row.get(), meta.cmyk.get() + (height - 1 - i) * 4 * width, width, inverted);
                }
            } else {
                CopyGrayRow(row.get(), components, target, width);
            }
        }
    });
    return done ? 0 : 1;
}

void PxDecoderJPEG::Abandon()
{
    jpeg_abort_decompress(&library->decompressor);
    scratch.reset();
}

}  // namespace brelvix
