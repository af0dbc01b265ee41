#include "decoder_module.h"

#include <dlfcn.h>
#include <unistd.h>

#include <atomic>
#include <cstdarg>
#include <cstdio>
#include <filesystem>
#include <system_error>
#include <typeinfo>

#include "animation.h"

namespace brelvix {

namespace {

// Where the library lies whose standard-error lines are dropped; null until
// the module is loaded.
std::atomic<const void*> quietBase{nullptr};

using FormattedWrite = int (*)(std::FILE*, int, const char*, std::va_list);

// The module's frame sources derive from PxAnimation, and the module is
// loaded with every symbol resolved at once: a program that never plays
// frames itself must still carry the class's tables, or the load fails.
[[gnu::used]] const std::type_info* const kModuleNeedsAnimation = &typeid(PxAnimation);

bool SameLayout(const PxDecoderModuleEntry& entry)
{
    const PxDecoderModuleEntry ours = PxDecoderModuleEntryFor(nullptr, nullptr, nullptr, nullptr);
    return entry.interfaceVersion == ours.interfaceVersion && entry.bitmapSize == ours.bitmapSize &&
           entry.decoderSize == ours.decoderSize && entry.streamSize == ours.streamSize &&
           entry.animationSize == ours.animationSize && entry.create != nullptr && entry.openAnimation != nullptr &&
           entry.isoMediaExifBlock != nullptr;
}

}  // namespace

}  // namespace brelvix

// libjxl as Debian builds it writes a line to standard error for every
// fault it meets in a damaged file ("JXL_FAILURE: ..."), and it offers no
// switch to stop it. Its writes all pass through the C library's checked
// formatted write, which the program provides itself so that it can drop
// the lines whose caller is that library; every other write goes on to the
// C library unchanged. It has to be the program's own: a definition in the
// module would come after the C library's in the order the library's
// references are resolved.
extern "C" int __vfprintf_chk(std::FILE* stream, int flag, const char* format, std::va_list arguments)
{
    const void* quiet = brelvix::quietBase.load(std::memory_order_acquire);
    if (stream == stderr && quiet != nullptr) {
        Dl_info caller{};
        if (dladdr(__builtin_return_address(0), &caller) != 0 && caller.dli_fbase == quiet) {
            return 0;
        }
    }
    static const auto write = reinterpret_cast<brelvix::FormattedWrite>(dlsym(RTLD_NEXT, "__vfprintf_chk"));
    return write != nullptr ? write(stream, flag, format, arguments) : -1;
}

namespace brelvix {

PxDecoderModule::PxDecoderModule(const std::vector<std::string>& paths)
{
    problem = "no decoder module found";
    for (const std::string& path : paths) {
        std::error_code error;
        if (path.empty() || !std::filesystem::exists(path, error)) {
            continue;
        }
        // Every symbol is bound now, so that a module that does not fit this
        // program fails here, not in the middle of a decode.
        void* handle = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
        if (handle == nullptr) {
            const char* why = dlerror();
            problem = why != nullptr ? why : path + ": cannot be loaded";
            continue;
        }
        const auto* found = static_cast<const PxDecoderModuleEntry*>(dlsym(handle, kPxDecoderModuleSymbol));
        if (found == nullptr || !SameLayout(*found)) {
            problem = path + ": built from other sources than this program";
            dlclose(handle);
            continue;
        }
        entry = found;
        problem.clear();
        if (entry->quietLibrary != nullptr) {
            Dl_info library{};
            if (const void* address = entry->quietLibrary(); address != nullptr && dladdr(address, &library) != 0) {
                quietBase.store(library.dli_fbase, std::memory_order_release);
            }
        }
        return;
    }
}

std::unique_ptr<PxDecoder> PxDecoderModule::Create(int formatId) const
{
    return std::unique_ptr<PxDecoder>(entry != nullptr ? entry->create(formatId) : nullptr);
}

std::unique_ptr<PxAnimation> PxDecoderModule::OpenAnimation(int formatId, PxFileBytes file,
                                                            PxLoadControl* control) const
{
    return std::unique_ptr<PxAnimation>(entry != nullptr ? entry->openAnimation(formatId, &file, control) : nullptr);
}

bool PxDecoderModule::IsoMediaExifBlock(const std::string& path, std::vector<std::uint8_t>* block) const
{
    return entry != nullptr && entry->isoMediaExifBlock(path, block);
}

std::vector<std::string> PxDecoderModulePaths()
{
    std::vector<std::string> paths;
    std::error_code error;
    const std::filesystem::path program = std::filesystem::read_symlink("/proc/self/exe", error);
    if (!error) {
        paths.push_back((program.parent_path() / BRELVIX_MODULE_FROM_PROGRAM).lexically_normal().string());
    }
    paths.emplace_back(BRELVIX_MODULE_BUILD_PATH);
    return paths;
}

bool PxDecodedByModule(int formatId)
{
    return formatId == kPxFormatWebP || formatId == kPxFormatAVIF || formatId == kPxFormatHEIF ||
           formatId == kPxFormatJXL;
}

const PxDecoderModule& PxNewerFormats()
{
    static const PxDecoderModule module(PxDecoderModulePaths());
    static const bool told = [] {
        if (!module.Loaded()) {
            std::fprintf(stderr, "brelvix: cannot decode WebP, AVIF, HEIF or JPEG XL: %s\n", module.Problem().c_str());
        }
        return true;
    }();
    static_cast<void>(told);
    return module;
}

}  // namespace brelvix
