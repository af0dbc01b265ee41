#include "viewer/screen_colors.h"

#include <memory>
#include <mutex>

#include "imaging/color_convert.h"

namespace brelvix {

namespace {

struct State {
    std::mutex mutex;
    std::uint64_t version = 0;
    std::uint64_t lastVersion = 0;
    // Shared with conversions still running when it is replaced.
    std::shared_ptr<const ScreenColors> colors;
};

State& Current()
{
    static State state;
    return state;
}

bool Same(const ScreenColors& a, const ScreenColors& b)
{
    return a.manage == b.manage && a.target.srgb == b.target.srgb && a.target.icc == b.target.icc;
}

}  // namespace

std::uint64_t SetScreenColors(const ScreenColors& colors)
{
    State& state = Current();
    const std::lock_guard<std::mutex> lock(state.mutex);
    if (state.colors != nullptr && Same(*state.colors, colors)) {
        return state.version;
    }
    state.colors = std::make_shared<const ScreenColors>(colors);
    // Versions are never used twice, not even across a clear: a picture
    // prepared before it must not pass for one prepared after.
    state.version = ++state.lastVersion;
    return state.version;
}

void ClearScreenColors()
{
    State& state = Current();
    const std::lock_guard<std::mutex> lock(state.mutex);
    state.colors.reset();
    state.version = 0;
}

std::uint64_t ScreenColorsVersion()
{
    State& state = Current();
    const std::lock_guard<std::mutex> lock(state.mutex);
    return state.version;
}

bool ScreenColorsCurrent(std::uint64_t version)
{
    return version == 0 || version == ScreenColorsVersion();
}

std::uint64_t PrepareForScreen(PxBitmap& picture)
{
    std::shared_ptr<const ScreenColors> colors;
    std::uint64_t version = 0;
    {
        State& state = Current();
        const std::lock_guard<std::mutex> lock(state.mutex);
        colors = state.colors;
        version = state.version;
    }
    if (colors == nullptr) {
        return 0;
    }
    if (colors->manage) {
        // A picture whose profile cannot be used shows its stored values,
        // as an untagged one does: that is the conversion's own outcome.
        PxConvertColors(picture, colors->target);
    } else {
        picture.Meta().cmyk.reset();
    }
    return version;
}

}  // namespace brelvix
