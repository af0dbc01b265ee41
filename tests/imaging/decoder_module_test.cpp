#include <dlfcn.h>
#include <gtest/gtest.h>
#include <zlib.h>

#include <string>
#include <vector>

#include "imaging/decoder_module.h"
#include "support/temp_dir.h"

namespace brelvix {

TEST(DecoderModule, OnlyAModuleOfTheseSourcesIsUsed)
{
    TempDir dir;
    const std::string missing = (dir.Path() / "none.so").string();
    const std::string text = dir.Write("text.so", std::string("not a shared object"));
    const std::string built = PxDecoderModulePaths().back();
    Dl_info zlib{};
    ASSERT_NE(dladdr(reinterpret_cast<const void*>(&zlibVersion), &zlib), 0);
    const struct {
        const char* name;
        std::vector<std::string> paths;
        bool loaded;
    } cases[] = {
        {"no path", {}, false},
        {"a missing file", {missing}, false},
        {"a file that is no shared object", {text}, false},
        {"a shared library that is no module", {zlib.dli_fname}, false},
        {"the build's module after missing ones", {missing, text, built}, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const PxDecoderModule module(c.paths);
        EXPECT_EQ(module.Loaded(), c.loaded);
        EXPECT_EQ(module.Problem().empty(), c.loaded);
        for (const int format : {kPxFormatWebP, kPxFormatAVIF, kPxFormatHEIF, kPxFormatJXL}) {
            EXPECT_EQ(module.Create(format) != nullptr, c.loaded) << format;
        }
        EXPECT_EQ(module.Create(kPxFormatJPEG), nullptr);
    }
}

}  // namespace brelvix
