// The navigator: which picture the view shows and which it shows next. It
// keeps the list of the folder's pictures with the position in it, the
// picture asked for while it loads, and the pictures kept or decoded ahead
// of time (PictureCache).
//
// A picture asked for is loaded on the caller's thread, or, with background
// loading, decoded on a thread of its own while the window goes on painting
// what it shows and taking commands: the document, title and status keep
// describing the picture on screen until the new one is done (or at once
// when the cache has it ready). Another opening or step meanwhile cancels
// that decode and moves on from the position asked for, so no step is lost.
// While it waits the navigator shows the wait cursor, and after a third of
// a second the decode's progress in the status bar.
//
// Once a picture is in the document the navigator hands back an Arrival:
// the view then lays it out and shows it (ImageView).
//
// With best fit on, a large picture asked for shows first as a reduced
// first look (PictureCache::Start), decoded at the least cost that still
// fills the window, and then as itself once its decode is done: two
// arrivals. The document stands for the picture meanwhile (its size, place,
// zoom, turns and mirrors are the picture's), so the second arrival only
// replaces the pixels. A held key's repeated steps are dropped while the
// picture asked for shows nothing yet, so every step shows at least its
// first look and the viewer stops where the key is let go.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "viewer/file_list.h"
#include "viewer/image_document.h"
#include "viewer/list_order.h"
#include "viewer/picture_cache.h"
#include "viewer/view_host.h"
#include "viewer/viewer_settings.h"

namespace brelvix {

enum class NavigationStep {
    Next,         // one on, from the last to the first
    Previous,     // one back, from the first to the last
    First,        //
    Last,         //
    FastForward,  // fastForwardSkip on, stopping at the last
    Rewind,       // fastForwardSkip back, stopping at the first
};

// The position `step` leads to from `position` in a list of `count` entries
// (count > 0), `skip` entries for fast forward and rewind; always inside the
// list. Worked out in 64 bits: the skip comes from the stored settings and
// may be anything, and a position outside the list (only a negative one can
// lead there) is pulled to the nearest end.
std::int64_t StepTarget(NavigationStep step, std::int64_t position, std::int64_t count, std::int64_t skip);

// While a picture decodes in the background: the timer that looks whether
// it is done, and the one after which its progress shows.
inline constexpr unsigned kLoadPollTimerId = 2;
inline constexpr unsigned kLoadProgressTimerId = 3;
inline constexpr int kLoadPollPeriod = 10;
inline constexpr int kLoadProgressDelay = 333;
// While the list waits for its order: the timer that starts the reading of
// the files' keys (once the picture is on screen) and looks for its end.
inline constexpr unsigned kListOrderTimerId = 9;
inline constexpr int kListOrderPeriod = 20;

class Navigator {
public:
    // What the view still has to do for a picture that is now in the
    // document.
    struct Arrival {
        // It was a navigation step (a running slide show restarts its timer).
        bool navigation = false;
        // The wait cursor showed; it gives way to `remembered`.
        bool waitCursor = false;
        ViewCursor remembered = ViewCursor::None;
        // What arrived is a first look: the picture itself follows.
        bool firstLook = false;
        // What arrived is the picture itself after its first look: the
        // zoom, turns, mirrors and scrolling asked for meanwhile stay.
        bool afterFirstLook = false;
    };

    // None is owned; each must outlive the navigator.
    Navigator(ImageDocument& document, const ViewerSettings& settings, ViewWindow& window, ViewTimer& timer,
              ViewFrame& frame);
    ~Navigator();
    Navigator(const Navigator&) = delete;
    Navigator& operator=(const Navigator&) = delete;

    // The list of the picture on screen and its position in it.
    const FileList& Files() const { return files; }
    const PictureCache& Cache() const { return cache; }
    const ListOrder& Order() const { return listOrder; }

    void SetBackgroundLoading(bool on) { loadInBackground = on; }
    // Whether a picture asked for is still being decoded.
    bool Loading() const { return pending.active; }
    // Whether it still shows nothing of itself (not even a first look).
    bool AwaitsFirstSight() const { return pending.active && !pending.firstLookShown; }
    // Called on a decoding thread whenever a first look or a picture is
    // done (PictureCache::SetWake); the caller then calls OnTimer with
    // kLoadPollTimerId on the window's thread.
    void SetWake(std::function<void()> wake) { cache.SetWake(std::move(wake)); }
    // Whether it shows the wait cursor meanwhile (which then stays).
    bool ShowsWaitCursor() const { return pending.active && pending.waitCursor; }
    // How far that decode is, 0..100, and the status text while it is slow:
    // "Loading 42%".
    int LoadingPercent() const;
    std::string LoadingText() const;

    // Asks for the picture at `path`, with a list built anew for its folder
    // when `rebuildList` (else the list stays). The arrival when it is in the
    // document now; nothing while it decodes.
    std::optional<Arrival> Open(const std::string& path, bool rebuildList);
    // Asks for the entry `step` leads to. Nothing happens with an empty
    // list. A slide show's steps show the wait cursor even when the picture
    // is ready.
    std::optional<Arrival> Step(NavigationStep step, bool slideShowRunning);
    // One of the load timers expired; the arrival once the picture is there.
    std::optional<Arrival> OnTimer(unsigned id);
    // Gives up the picture asked for; what is on screen stays. True when
    // the status bar showed its progress and must be written anew.
    bool CancelLoading();

    // Builds the list of the picture on screen anew (a step still loading
    // is dropped).
    void RefreshFileList();
    // Puts the list in the order the settings now ask for (sortOrder,
    // sortReverse), the current picture keeping its place.
    void Rearrange() { ArrangeFiles(false); }
    // The list order's timer expired. True when the list's order changed.
    bool OnListOrderTimer();
    // After the picture on screen went: the position moves to the next entry
    // (the previous one after the last) and that entry's path comes back;
    // nothing when there is none.
    std::optional<std::string> NeighbourAfterDeletion();
    // Starts decoding the entries beside the current one, the way the user
    // is browsing first, so that the next step finds them ready. Nothing
    // happens without a loaded picture, with fewer than two entries, or when
    // the picture on screen is too large for the cache to keep another.
    void PrefetchNeighbours();

    // Takes over decodes started before the view existed (the first picture,
    // decoded while the window system is being set up).
    void AdoptDecodes(PictureCache&& early);
    // Cancels every decode and waits up to `waitMs` milliseconds for them to
    // end. True when none is left running (PictureCache::CancelAll).
    bool LeaveDecodes(std::uint32_t waitMs) { return cache.CancelAll(waitMs); }

private:
    // The picture asked for while it decodes, and what showing it changes
    // besides the document's picture.
    struct PendingLoad {
        bool active = false;
        std::string path;
        // The list to use from then on (an open built it for the new
        // picture's folder); otherwise the navigator's stays.
        bool ownList = false;
        FileList list;
        // The position once the picture shows (a step, or the position in
        // the list built for it).
        bool setsIndex = false;
        std::int32_t index = 0;
        bool navigation = false;
        bool waitCursor = false;
        ViewCursor remembered = ViewCursor::None;
        bool showsProgress = false;
        int shownPercent = -1;
        // Its first look is on screen.
        bool firstLookShown = false;
    };

    // The first look a decode of the picture asked for makes: with best fit
    // on, at least the size of the window (which a fitted picture never
    // passes); none otherwise.
    FirstLook FirstLookWanted() const;
    // Shows the first look of the picture asked for; false, changing
    // nothing, when there is none or it would show less than the window's
    // part that the picture will fill.
    bool ShowFirstLook();

    // The list and position a step moves from: those of the picture asked
    // for while it decodes, else the ones of the picture on screen.
    const FileList& NavigationList() const;
    std::int32_t NavigationIndex() const;
    // Decodes `path` now (or takes it from the cache) and shows it.
    void LoadNow(const std::string& path);
    // Shows the cache's finished decode of `path`; false, changing nothing,
    // while it still decodes or when the cache has nothing of the file as
    // it is now.
    bool LoadFromCache(const std::string& path);
    void Install(const std::string& path, DecodedPicture picture);
    // The picture on screen goes to the cache.
    void KeepShown();
    // Pictures turned upright while that setting was on would come back
    // turned after it was switched off; they are dropped instead.
    void ForgetTurnedPictures();
    // Makes `next` the picture asked for: the decode of the one asked for
    // before is cancelled (unless it is the same file), and the wait cursor
    // carries over from step to step.
    std::optional<Arrival> Replace(PendingLoad next, bool slideShowRunning);
    // Shows pending.path at once when the cache has it ready, else starts
    // its decode and the timers that watch it.
    std::optional<Arrival> Begin(bool slideShowRunning);
    std::optional<Arrival> Poll();
    // The picture asked for is in the document: the list and position it
    // brings, and what the view still has to do.
    Arrival Settle();
    void StopLoadTimers();
    void ShowWaitCursor();
    // Every list built anew comes in the name order: the chosen order is
    // applied again (`built`), or after a change of the settings.
    void ArrangeFiles(bool built);
    // A step still loading moves with its entry when the list is reordered.
    void FollowPendingStep();

    ImageDocument& document;
    const ViewerSettings& settings;
    ViewWindow& window;
    ViewTimer& timer;
    ViewFrame& frame;

    FileList files;
    PictureCache cache;
    bool loadInBackground = false;
    PendingLoad pending;
    // The direction of the last step; the neighbour that way is decoded
    // ahead first.
    std::int32_t browseStep = 1;
    // The cache may hold a picture turned upright.
    bool cacheHoldsTurned = false;
    ListOrder listOrder;
};

}  // namespace brelvix
