// The decoders of WebP, AVIF, HEIF and JPEG XL, their frame sources and the
// Exif reader of HEIF and AVIF live in a module of their own, loaded the
// first time one of them is needed. Their libraries and
// what those pull in are some forty shared libraries, a few with static
// initialisers of their own; linking them into the program cost each start
// about 20 ms, before the first picture of any format could show.
//
// The module is built beside the program (imaging/CMakeLists.txt) and
// installed in <libdir>/brelvix. It calls back into the image library of the
// program that loads it, which exports its symbols for it, so a module only
// loads into a program built from the same sources: each side states the
// interface version and the sizes of the types they share, and a module
// that does not match is not used. Everything that calls those four
// libraries belongs in the module.
#pragma once

#include <cstddef>
#include <memory>
#include <string>
#include <vector>

#include "animation_formats.h"
#include "decoder.h"

namespace brelvix {

// Bumped whenever PxDecoder, PxBitmap, PxFileStream or what the module calls
// of them changes in a way that a module built before would misread.
inline constexpr int kPxDecoderModuleInterface = 1;

// What the module exports, under the C name kPxDecoderModuleSymbol.
struct PxDecoderModuleEntry {
    int interfaceVersion;
    std::size_t bitmapSize;
    std::size_t decoderSize;
    std::size_t streamSize;
    std::size_t animationSize;
    // A new decoder for the format id, or null when the module has none
    // for it (or no memory).
    PxDecoder* (*create)(int formatId);
    // An address inside the library whose lines on standard error are
    // dropped (see decoder_module.cpp), or null.
    const void* (*quietLibrary)();
    // The frame source of a WebP, JPEG XL or AVIF file (animation_formats.h).
    PxAnimation* (*openAnimation)(int formatId, PxFileBytes* file, PxLoadControl* control);
    // PxIsoMediaExifBlock.
    bool (*isoMediaExifBlock)(const std::string& path, std::vector<std::uint8_t>* block);
};

inline constexpr const char kPxDecoderModuleSymbol[] = "brelvix_decoder_module";

// The entry a module built from these sources exports.
inline constexpr PxDecoderModuleEntry PxDecoderModuleEntryFor(PxDecoder* (*create)(int), const void* (*quietLibrary)(),
                                                              PxAnimation* (*openAnimation)(int, PxFileBytes*,
                                                                                            PxLoadControl*),
                                                              bool (*isoMediaExifBlock)(const std::string&,
                                                                                        std::vector<std::uint8_t>*))
{
    return {kPxDecoderModuleInterface, sizeof(PxBitmap), sizeof(PxDecoder), sizeof(PxFileStream),
            sizeof(PxAnimation),       create,           quietLibrary,      openAnimation,
            isoMediaExifBlock};
}

// In the module: the Exif block of a HEIF or AVIF file (the TIFF structure
// after the item's offset), from the file's item tables through libheif.
bool PxIsoMediaExifBlock(const std::string& path, std::vector<std::uint8_t>* block);

class PxDecoderModule {
public:
    // Loads the first of `paths` that exists and checks it; nothing is
    // loaded when none does. A loaded module stays loaded for the rest of
    // the process (its libraries keep threads and state of their own).
    explicit PxDecoderModule(const std::vector<std::string>& paths);
    PxDecoderModule(const PxDecoderModule&) = delete;
    PxDecoderModule& operator=(const PxDecoderModule&) = delete;

    bool Loaded() const { return entry != nullptr; }
    // Why the module could not be used: empty once it is loaded.
    const std::string& Problem() const { return problem; }
    // A decoder for `formatId`, or null without the module or one for the format.
    std::unique_ptr<PxDecoder> Create(int formatId) const;
    // The frame source of a WebP, JPEG XL or AVIF file; null without the
    // module or when the file has none.
    std::unique_ptr<PxAnimation> OpenAnimation(int formatId, PxFileBytes file, PxLoadControl* control) const;
    // PxIsoMediaExifBlock; false without the module.
    bool IsoMediaExifBlock(const std::string& path, std::vector<std::uint8_t>* block) const;

private:
    const PxDecoderModuleEntry* entry = nullptr;
    std::string problem;
};

// Where the program looks for its module: <program folder>/<path from the
// installed program to the installed module>, then the module of the build
// tree the program was built in.
std::vector<std::string> PxDecoderModulePaths();

// Whether the module decodes `formatId` (WebP, AVIF, HEIF and JPEG XL).
bool PxDecodedByModule(int formatId);

// The program's module, loaded on the first call (from any thread). When
// it cannot be loaded, says why once on standard error, and pictures of its
// formats fail as unsupported.
const PxDecoderModule& PxNewerFormats();

}  // namespace brelvix
