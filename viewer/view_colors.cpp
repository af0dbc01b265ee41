// The colours the view shows pictures in: the colour setting and the
// display's profile, handed to the decodes.
#include "imaging/color_profile.h"
#include "viewer/image_view.h"
#include "viewer/screen_colors.h"

namespace brelvix {

// The screen's colours were this view's to say: pictures decoded after it
// are left as they are.
ImageView::~ImageView()
{
    if (settingsApplied) {
        ClearScreenColors();
    }
}

void ImageView::SetDisplayProfile(const std::vector<std::uint8_t>& icc)
{
    PxColorProfile target;
    if (icc.empty() || !PxTargetFromIcc(icc.data(), icc.size(), &target)) {
        PxSetSrgbProfile(&target);
    }
    displayProfile = std::move(target);
    if (UpdateScreenColors() && !document.Path().empty()) {
        OpenImage(document.Path(), false);
    }
}

bool ImageView::UpdateScreenColors()
{
    if (!settingsApplied) {
        return false;
    }
    ScreenColors colors;
    colors.manage = settings.manageColors;
    colors.target = displayProfile;
    if (!colors.target.Tagged()) {
        PxSetSrgbProfile(&colors.target);
    }
    const std::uint64_t before = ScreenColorsVersion();
    if (SetScreenColors(colors) == before) {
        return false;
    }
    // What is on screen now shows other colours: not to be kept.
    document.MarkStale();
    return true;
}

}  // namespace brelvix
