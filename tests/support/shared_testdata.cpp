#include "support/shared_testdata.h"

#include <filesystem>

namespace brelvix {

namespace {

constexpr const char* kFolder = "../shared/testdata/";

}  // namespace

std::string SharedTestdata(const std::string& inside)
{
    return kFolder + inside;
}

bool SharedTestdataPresent()
{
    std::error_code ignored;
    return std::filesystem::is_directory(kFolder, ignored);
}

std::string SharedTestdataMissing()
{
    std::error_code ignored;
    const std::filesystem::path folder =
        std::filesystem::weakly_canonical(std::filesystem::path(kFolder).parent_path(), ignored);
    return "shared conformance files missing: no folder " + folder.string();
}

}  // namespace brelvix
