// lcms2's handles held by scope, for the colour code of the library.
#pragma once

#include <lcms2.h>

#include <memory>

#include "pixel_memory.h"

namespace brelvix {

using PxLcmsProfile = std::unique_ptr<void, PxReleaseWith<&cmsCloseProfile>>;
using PxLcmsTransform = std::unique_ptr<void, PxReleaseWith<&cmsDeleteTransform>>;
using PxLcmsCurve = std::unique_ptr<cmsToneCurve, PxReleaseWith<&cmsFreeToneCurve>>;
using PxLcmsText = std::unique_ptr<cmsMLU, PxReleaseWith<&cmsMLUfree>>;

// The one rendering intent pictures are shown with, as browsers do by
// default: matrix profiles treat it as relative colorimetric, table-based
// ones (most CMYK profiles) have their own perceptual tables.
inline constexpr cmsUInt32Number kPxIntent = INTENT_PERCEPTUAL;

}  // namespace brelvix
