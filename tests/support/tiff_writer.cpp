#include "support/tiff_writer.h"

#include <algorithm>
#include <cstring>

namespace brelvix {

namespace {

std::uint32_t PlaneRowBytes(const TiffPage& page)
{
    return static_cast<std::uint32_t>((std::uint64_t{page.width} * page.bitsPerSample + 7) / 8);
}

bool WriteTiles(TIFF* tif, const TiffPage& page)
{
    const std::uint64_t pixelBits = std::uint64_t{page.samplesPerPixel} * page.bitsPerSample;
    if (pixelBits % 8 != 0) {
        return false;  // tiles here hold whole bytes per pixel
    }
    const std::uint64_t pixelBytes = pixelBits / 8;
    const std::uint64_t rowBytes = TiffRowBytes(page);
    std::vector<std::uint8_t> tile(static_cast<size_t>(TIFFTileSize64(tif)));
    for (std::uint32_t ty = 0; ty < page.height; ty += page.tileLength) {
        for (std::uint32_t tx = 0; tx < page.width; tx += page.tileWidth) {
            std::fill(tile.begin(), tile.end(), 0);
            for (std::uint32_t y = 0; y < page.tileLength && ty + y < page.height; ++y) {
                const std::uint32_t columns = std::min(page.tileWidth, page.width - tx);
                std::memcpy(tile.data() + y * page.tileWidth * pixelBytes,
                            page.samples.data() + (ty + y) * rowBytes + tx * pixelBytes, columns * pixelBytes);
            }
            if (TIFFWriteTile(tif, tile.data(), tx, ty, 0, 0) < 0) {
                return false;
            }
        }
    }
    return true;
}

bool WriteStrips(TIFF* tif, const TiffPage& page)
{
    if (page.planar == PLANARCONFIG_SEPARATE) {
        const std::uint32_t rowBytes = PlaneRowBytes(page);
        std::vector<std::uint8_t> row(rowBytes);
        for (std::uint16_t s = 0; s < page.samplesPerPixel; ++s) {
            for (std::uint32_t y = 0; y < page.height; ++y) {
                std::memcpy(row.data(), page.samples.data() + (std::uint64_t{s} * page.height + y) * rowBytes,
                            rowBytes);
                if (TIFFWriteScanline(tif, row.data(), y, s) < 0) {
                    return false;
                }
            }
        }
        return true;
    }
    const std::uint32_t rowBytes = TiffRowBytes(page);
    std::vector<std::uint8_t> row(rowBytes);
    for (std::uint32_t y = 0; y < page.height; ++y) {
        std::memcpy(row.data(), page.samples.data() + std::uint64_t{y} * rowBytes, rowBytes);
        if (TIFFWriteScanline(tif, row.data(), y, 0) < 0) {
            return false;
        }
    }
    return true;
}

bool WritePage(TIFF* tif, const TiffPage& page)
{
    TIFFSetField(tif, TIFFTAG_IMAGEWIDTH, page.width);
    TIFFSetField(tif, TIFFTAG_IMAGELENGTH, page.height);
    TIFFSetField(tif, TIFFTAG_SAMPLESPERPIXEL, page.samplesPerPixel);
    TIFFSetField(tif, TIFFTAG_BITSPERSAMPLE, page.bitsPerSample);
    TIFFSetField(tif, TIFFTAG_PHOTOMETRIC, page.photometric);
    TIFFSetField(tif, TIFFTAG_COMPRESSION, page.compression);
    TIFFSetField(tif, TIFFTAG_PLANARCONFIG, page.planar);
    if (page.orientation != 0) {
        TIFFSetField(tif, TIFFTAG_ORIENTATION, page.orientation);
    }
    if (page.predictor != 0) {
        TIFFSetField(tif, TIFFTAG_PREDICTOR, page.predictor);
    }
    if (!page.iccProfile.empty()) {
        TIFFSetField(tif, TIFFTAG_ICCPROFILE, static_cast<std::uint32_t>(page.iccProfile.size()),
                     page.iccProfile.data());
    }
    if (!page.make.empty()) {
        TIFFSetField(tif, TIFFTAG_MAKE, page.make.c_str());
    }
    if (!page.extraSamples.empty()) {
        TIFFSetField(tif, TIFFTAG_EXTRASAMPLES, static_cast<std::uint16_t>(page.extraSamples.size()),
                     page.extraSamples.data());
    }
    if (!page.colormap.empty()) {
        const size_t n = size_t{1} << page.bitsPerSample;
        if (page.colormap.size() != 3 * n) {
            return false;
        }
        std::vector<std::uint16_t> map = page.colormap;
        TIFFSetField(tif, TIFFTAG_COLORMAP, map.data(), map.data() + n, map.data() + 2 * n);
    }
    if (page.tileWidth != 0) {
        TIFFSetField(tif, TIFFTAG_TILEWIDTH, page.tileWidth);
        TIFFSetField(tif, TIFFTAG_TILELENGTH, page.tileLength);
        return WriteTiles(tif, page) && TIFFWriteDirectory(tif) != 0;
    }
    TIFFSetField(tif, TIFFTAG_ROWSPERSTRIP, page.rowsPerStrip != 0 ? page.rowsPerStrip : TIFFDefaultStripSize(tif, 0));
    return WriteStrips(tif, page) && TIFFWriteDirectory(tif) != 0;
}

}  // namespace

std::uint32_t TiffRowBytes(const TiffPage& page)
{
    return static_cast<std::uint32_t>((std::uint64_t{page.width} * page.samplesPerPixel * page.bitsPerSample + 7) / 8);
}

void PushSample16(std::vector<std::uint8_t>* samples, std::uint16_t value)
{
    std::uint8_t bytes[2];
    std::memcpy(bytes, &value, 2);
    samples->push_back(bytes[0]);
    samples->push_back(bytes[1]);
}

bool WriteTiff(const std::string& path, const std::vector<TiffPage>& pages)
{
    TIFF* tif = TIFFOpen(path.c_str(), "w");
    if (tif == nullptr) {
        return false;
    }
    bool ok = true;
    for (const TiffPage& page : pages) {
        const std::uint64_t expected = page.planar == PLANARCONFIG_SEPARATE
                                           ? std::uint64_t{PlaneRowBytes(page)} * page.height * page.samplesPerPixel
                                           : std::uint64_t{TiffRowBytes(page)} * page.height;
        if (page.samples.size() != expected || !WritePage(tif, page)) {
            ok = false;
            break;
        }
    }
    TIFFClose(tif);
    return ok;
}

}  // namespace brelvix
