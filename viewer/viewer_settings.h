// The viewer's own settings: what the user chooses about browsing, the slide
// show and how pictures are shown. The view holds one copy and its parts
// read it; only ImageView::ApplySettings changes it, so that every change
// takes effect the way it must (a picture turned anew, a repaint).
//
// A view starts with every field zero, false or empty; the application
// applies its defaults and the stored values before the first picture
// opens. Where each value is stored is the application's business.
#pragma once

#include <cstdint>
#include <string>

namespace brelvix {

struct ViewerSettings {
    // Seconds between slides.
    double slideShowDelay = 0;
    // How many entries fast forward and rewind move; any value, negative
    // ones included, is taken as it is.
    std::int32_t fastForwardSkip = 0;
    // The folder scan enters subfolders.
    bool includeSubdirectories = false;
    // Around and behind the picture, 0x00BBGGRR.
    std::uint32_t backgroundColor = 0;
    // The information overlay is drawn in full screen.
    bool showInfoInFullScreen = false;
    // The program Open for editing starts; empty when none is set.
    std::string imageEditorPath;
    // Pictures are turned upright as their file's orientation asks (a
    // camera's Exif tag, or the format's own) right after loading, so that
    // zoom, turns, mirrors and sizes all work on the upright picture.
    bool applyOrientation = false;
    // Zoom steps move between round factors and keep the middle of the view
    // (Ctrl+wheel: the point under the pointer) in place; best fit follows
    // every change of the view's size and every turn; scrolling moves by
    // screen distance, sideways with Shift+wheel, and Up and Down scroll.
    bool modernZoom = false;
    // The order of the file list, as SortOrderFromSetting reads it (0 name,
    // 1 date taken, 2 date modified, 3 size; any other number is the name),
    // and whether it runs the other way round.
    std::int32_t sortOrder = 0;
    bool sortReverse = false;

    bool operator==(const ViewerSettings&) const = default;
};

}  // namespace brelvix
