#include "support/avif_writer.h"

#include <avif/avif.h>

#include <memory>

namespace brelvix {

namespace {

struct ImageRelease {
    void operator()(avifImage* image) const { avifImageDestroy(image); }
};
struct EncoderRelease {
    void operator()(avifEncoder* encoder) const { avifEncoderDestroy(encoder); }
};
using ImagePtr = std::unique_ptr<avifImage, ImageRelease>;
using EncoderPtr = std::unique_ptr<avifEncoder, EncoderRelease>;

// The part of `picture` at cell (column, row) of a grid, as a YUV image.
ImagePtr ToYuv(const RawPicture& picture, const AvifWriterOptions& options, int columns, int rows, int column, int row)
{
    const int width = picture.width / columns;
    const int height = picture.height / rows;
    const avifPixelFormat format =
        options.lossless || !options.subsample ? AVIF_PIXEL_FORMAT_YUV444 : AVIF_PIXEL_FORMAT_YUV420;
    ImagePtr image(avifImageCreate(static_cast<std::uint32_t>(width), static_cast<std::uint32_t>(height),
                                   static_cast<std::uint32_t>(picture.bitDepth), format));
    if (image == nullptr) {
        return nullptr;
    }
    if (options.lossless) {
        image->matrixCoefficients = AVIF_MATRIX_COEFFICIENTS_IDENTITY;
        image->yuvRange = AVIF_RANGE_FULL;
    }
    avifRGBImage rgb;
    avifRGBImageSetDefaults(&rgb, image.get());
    rgb.format = picture.channels == 4 ? AVIF_RGB_FORMAT_RGBA : AVIF_RGB_FORMAT_RGB;
    rgb.depth = static_cast<std::uint32_t>(picture.bitDepth);
    avifRGBImageAllocatePixels(&rgb);
    const bool wide = picture.bitDepth > 8;
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width * picture.channels; ++x) {
            const std::size_t source =
                (static_cast<std::size_t>(row * height + y) * picture.width + column * width) * picture.channels + x;
            if (wide) {
                reinterpret_cast<std::uint16_t*>(rgb.pixels + y * rgb.rowBytes)[x] = picture.samples[source];
            } else {
                rgb.pixels[y * rgb.rowBytes + x] = static_cast<std::uint8_t>(picture.samples[source]);
            }
        }
    }
    const bool converted = avifImageRGBToYUV(image.get(), &rgb) == AVIF_RESULT_OK;
    avifRGBImageFreePixels(&rgb);
    return converted ? std::move(image) : nullptr;
}

EncoderPtr NewEncoder(const AvifWriterOptions& options)
{
    EncoderPtr encoder(avifEncoderCreate());
    if (encoder == nullptr) {
        return nullptr;
    }
    encoder->speed = 9;
    const int quantizer = options.lossless ? AVIF_QUANTIZER_LOSSLESS : (100 - options.quality) * 63 / 100;
    encoder->minQuantizer = quantizer;
    encoder->maxQuantizer = quantizer;
    encoder->minQuantizerAlpha = options.lossless ? AVIF_QUANTIZER_LOSSLESS : quantizer;
    encoder->maxQuantizerAlpha = encoder->minQuantizerAlpha;
    return encoder;
}

std::vector<std::uint8_t> Finish(avifEncoder* encoder)
{
    avifRWData output = AVIF_DATA_EMPTY;
    std::vector<std::uint8_t> file;
    if (avifEncoderFinish(encoder, &output) == AVIF_RESULT_OK) {
        file.assign(output.data, output.data + output.size);
    }
    avifRWDataFree(&output);
    return file;
}

void Transform(avifImage* image, const AvifWriterOptions& options)
{
    if (!options.iccProfile.empty()) {
        avifImageSetProfileICC(image, options.iccProfile.data(), options.iccProfile.size());
    }
    if (options.primaries >= 0) {
        image->colorPrimaries = static_cast<avifColorPrimaries>(options.primaries);
        image->transferCharacteristics = static_cast<avifTransferCharacteristics>(options.transfer);
    }
    if (options.rotation >= 0) {
        image->transformFlags |= AVIF_TRANSFORM_IROT;
        image->irot.angle = static_cast<std::uint8_t>(options.rotation);
    }
    if (options.mirror >= 0) {
        image->transformFlags |= AVIF_TRANSFORM_IMIR;
        image->imir.mode = static_cast<std::uint8_t>(options.mirror);
    }
}

}  // namespace

std::vector<std::uint8_t> EncodeAvif(const RawPicture& picture, const AvifWriterOptions& options)
{
    const EncoderPtr encoder = NewEncoder(options);
    if (encoder == nullptr) {
        return {};
    }
    std::vector<ImagePtr> cells;
    std::vector<const avifImage*> cellPointers;
    for (int row = 0; row < options.gridRows; ++row) {
        for (int column = 0; column < options.gridColumns; ++column) {
            cells.push_back(ToYuv(picture, options, options.gridColumns, options.gridRows, column, row));
            if (cells.back() == nullptr) {
                return {};
            }
            Transform(cells.back().get(), options);
            if (!options.exif.empty()) {
                avifImageSetMetadataExif(cells.back().get(), options.exif.data(), options.exif.size());
            }
            cellPointers.push_back(cells.back().get());
        }
    }
    const avifResult added =
        cells.size() == 1 ? avifEncoderAddImage(encoder.get(), cells[0].get(), 1, AVIF_ADD_IMAGE_FLAG_SINGLE)
                          : avifEncoderAddImageGrid(encoder.get(), static_cast<std::uint32_t>(options.gridColumns),
                                                    static_cast<std::uint32_t>(options.gridRows), cellPointers.data(),
                                                    AVIF_ADD_IMAGE_FLAG_SINGLE);
    return added == AVIF_RESULT_OK ? Finish(encoder.get()) : std::vector<std::uint8_t>{};
}

std::vector<std::uint8_t> EncodeAvifSequence(const std::vector<RawPicture>& frames)
{
    const AvifWriterOptions options;
    const EncoderPtr encoder = NewEncoder(options);
    if (encoder == nullptr) {
        return {};
    }
    encoder->timescale = 10;
    for (const RawPicture& frame : frames) {
        const ImagePtr image = ToYuv(frame, options, 1, 1, 0, 0);
        if (image == nullptr ||
            avifEncoderAddImage(encoder.get(), image.get(), 1, AVIF_ADD_IMAGE_FLAG_NONE) != AVIF_RESULT_OK) {
            return {};
        }
    }
    return Finish(encoder.get());
}

bool DecodeAvifReference(const std::vector<std::uint8_t>& file, int* width, int* height, std::vector<std::uint8_t>* rgb)
{
    avifDecoder* decoder = avifDecoderCreate();
    avifImage* image = avifImageCreateEmpty();
    bool decoded = false;
    if (decoder != nullptr && image != nullptr &&
        avifDecoderReadMemory(decoder, image, file.data(), file.size()) == AVIF_RESULT_OK) {
        avifRGBImage converted;
        avifRGBImageSetDefaults(&converted, image);
        converted.format = AVIF_RGB_FORMAT_RGB;
        avifRGBImageAllocatePixels(&converted);
        if (avifImageYUVToRGB(image, &converted) == AVIF_RESULT_OK) {
            *width = static_cast<int>(image->width);
            *height = static_cast<int>(image->height);
            rgb->clear();
            const unsigned shift = image->depth - 8;
            for (std::uint32_t y = 0; y < converted.height; ++y) {
                const std::uint8_t* row = converted.pixels + y * converted.rowBytes;
                for (std::uint32_t i = 0; i < converted.width * 3; ++i) {
                    rgb->push_back(image->depth > 8 ? static_cast<std::uint8_t>(
                                                          reinterpret_cast<const std::uint16_t*>(row)[i] >> shift)
                                                    : row[i]);
                }
            }
            decoded = true;
        }
        avifRGBImageFreePixels(&converted);
    }
    if (image != nullptr) {
        avifImageDestroy(image);
    }
    if (decoder != nullptr) {
        avifDecoderDestroy(decoder);
    }
    return decoded;
}

bool DecodeAvifFramesReference(const std::vector<std::uint8_t>& file, std::vector<std::vector<std::uint8_t>>* frames)
{
    std::unique_ptr<avifDecoder, void (*)(avifDecoder*)> decoder(avifDecoderCreate(), avifDecoderDestroy);
    if (decoder == nullptr || avifDecoderSetIOMemory(decoder.get(), file.data(), file.size()) != AVIF_RESULT_OK ||
        avifDecoderParse(decoder.get()) != AVIF_RESULT_OK) {
        return false;
    }
    frames->clear();
    while (avifDecoderNextImage(decoder.get()) == AVIF_RESULT_OK) {
        avifRGBImage rgb;
        avifRGBImageSetDefaults(&rgb, decoder->image);
        rgb.format = AVIF_RGB_FORMAT_RGBA;
        rgb.depth = 8;
        avifRGBImageAllocatePixels(&rgb);
        if (avifImageYUVToRGB(decoder->image, &rgb) != AVIF_RESULT_OK) {
            avifRGBImageFreePixels(&rgb);
            return false;
        }
        std::vector<std::uint8_t> frame;
        for (std::uint32_t y = 0; y < rgb.height; ++y) {
            frame.insert(frame.end(), rgb.pixels + y * rgb.rowBytes, rgb.pixels + y * rgb.rowBytes + 4 * rgb.width);
        }
        frames->push_back(std::move(frame));
        avifRGBImageFreePixels(&rgb);
    }
    return !frames->empty();
}

}  // namespace brelvix
