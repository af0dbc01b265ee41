#include "reduced_load.h"

namespace brelvix {

std::int32_t PxReductionDenominator(std::int32_t width, std::int32_t height, std::int32_t atLeastWidth,
                                    std::int32_t atLeastHeight)
{
    for (const std::int32_t denominator : {8, 4, 2}) {
        const std::int64_t reducedWidth = (std::int64_t{width} + denominator - 1) / denominator;
        const std::int64_t reducedHeight = (std::int64_t{height} + denominator - 1) / denominator;
        if (reducedWidth >= atLeastWidth && reducedHeight >= atLeastHeight) {
            return denominator;
        }
    }
    return 1;
}

int PxLoadReduced(const char* path, std::int32_t atLeastWidth, std::int32_t atLeastHeight, PxReducedPicture* out,
                  PxLoadControl* control, bool upright)
{
    PxReduction request;
    request.atLeastWidth = atLeastWidth;
    request.atLeastHeight = atLeastHeight;
    request.upright = upright;
    const int result = out->reduced.CreateFromFile(path, control, &request);
    out->fileWidth = request.fileWidth;
    out->fileHeight = request.fileHeight;
    return result;
}

}  // namespace brelvix
