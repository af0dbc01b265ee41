#include "viewer/navigator.h"

#include <algorithm>
#include <limits>
#include <utility>

namespace brelvix {

std::int64_t StepTarget(NavigationStep step, std::int64_t position, std::int64_t count, std::int64_t skip)
{
    std::int64_t target = position;
    switch (step) {
        case NavigationStep::Next:
            target = position + 1 >= count ? 0 : position + 1;
            break;
        case NavigationStep::Previous:
            target = position - 1 < 0 ? count - 1 : position - 1;
            break;
        case NavigationStep::First:
            target = 0;
            break;
        case NavigationStep::Last:
            target = count - 1;
            break;
        case NavigationStep::FastForward:
            target = position + skip;
            if (target < 0 || target >= count) {
                target = count - 1;
            }
            break;
        case NavigationStep::Rewind:
            target = position - skip;
            if (target <= 0) {
                target = 0;
            } else if (target >= count) {
                target = count - 1;
            }
            break;
    }
    return std::clamp<std::int64_t>(target, 0, count - 1);
}

namespace {

// The way the user browses with `step`: the neighbour that way is decoded
// ahead first.
std::int32_t BrowseDirection(NavigationStep step)
{
    switch (step) {
        case NavigationStep::Previous:
        case NavigationStep::Last:
        case NavigationStep::Rewind:
            return -1;
        default:
            return 1;
    }
}

}  // namespace

Navigator::Navigator(ImageDocument& shown, const ViewerSettings& viewerSettings, ViewWindow& viewWindow,
                     ViewTimer& viewTimer, ViewFrame& viewFrame)
    : document(shown), settings(viewerSettings), window(viewWindow), timer(viewTimer), frame(viewFrame)
{
}

Navigator::~Navigator() = default;

int Navigator::LoadingPercent() const
{
    return pending.active ? cache.Progress(pending.path) / 10 : 0;
}

std::string Navigator::LoadingText() const
{
    return "Loading " + std::to_string(LoadingPercent()) + "%";
}

// ---- loading into the document

void Navigator::KeepShown()
{
    if (document.Decoded() != nullptr) {
        const std::string path = document.Path();
        DecodedPicture shown = document.Release();
        cache.Keep(path, shown.identity, std::move(shown.bitmap), shown.result);
    }
    ForgetTurnedPictures();
}

void Navigator::ForgetTurnedPictures()
{
    if (!settings.applyOrientation && cacheHoldsTurned) {
        cache = PictureCache(cache.Budget());
        cacheHoldsTurned = false;
    }
}

void Navigator::Install(const std::string& path, DecodedPicture picture)
{
    if (document.Install(path, std::move(picture), settings.applyOrientation)) {
        cacheHoldsTurned = true;
    }
}

// The old picture goes to the cache first, which keeps it only when it is
// small enough, so a huge one is gone before the next is decoded.
void Navigator::LoadNow(const std::string& path)
{
    KeepShown();
    DecodedPicture picture;
    picture.bitmap = cache.Take(path, &picture.result, &picture.identity);
    if (!picture.bitmap) {
        picture.identity = platform::IdentityOf(path);
        picture.bitmap = std::make_unique<PxBitmap>();
        picture.result = picture.bitmap->CreateFromFile(path.c_str());
    }
    Install(path, std::move(picture));
}

bool Navigator::LoadFromCache(const std::string& path)
{
    ForgetTurnedPictures();
    if (!cache.Finished(path)) {
        return false;
    }
    DecodedPicture picture;
    picture.bitmap = cache.Take(path, &picture.result, &picture.identity);
    if (!picture.bitmap) {
        return false;
    }
    KeepShown();
    Install(path, std::move(picture));
    return true;
}

FirstLook Navigator::FirstLookWanted() const
{
    if (!frame.BestFitSetting()) {
        return {};
    }
    const ViewRect outer = window.WindowRect();
    return {outer.Width(), outer.Height(), settings.applyOrientation};
}

bool Navigator::ShowFirstLook()
{
    if (!cache.FirstLookReady(pending.path)) {
        return false;
    }
    std::unique_ptr<PxReducedPicture> look = cache.TakeFirstLook(pending.path);
    const FirstLook wanted = FirstLookWanted();
    if (!look || look->fileWidth <= 0 || look->fileHeight <= 0 || wanted.width <= 0 || wanted.height <= 0) {
        return false;
    }
    // The window may have grown since the decode began (the first picture's
    // is begun before the window exists): a first look less detailed than
    // the fitted picture is not shown.
    // The fitted scale is the same on both axes, whichever way it is turned.
    const std::int32_t orientation = look->reduced.Orientation();
    const bool transposed = settings.applyOrientation && orientation >= 5 && orientation <= 8;
    const double shownWidth = transposed ? look->fileHeight : look->fileWidth;
    const double shownHeight = transposed ? look->fileWidth : look->fileHeight;
    const double fit = std::min({1.0, wanted.width / shownWidth, wanted.height / shownHeight});
    if (look->reduced.Width() < fit * look->fileWidth || look->reduced.Height() < fit * look->fileHeight) {
        return false;
    }
    KeepShown();
    document.InstallFirstLook(pending.path, *look, settings.applyOrientation);
    return true;
}

// ---- asking for pictures

const FileList& Navigator::NavigationList() const
{
    return pending.active && pending.ownList ? pending.list : files;
}

std::int32_t Navigator::NavigationIndex() const
{
    return pending.active && pending.setsIndex ? pending.index : files.CurrentIndex();
}

std::optional<Navigator::Arrival> Navigator::Open(const std::string& path, bool rebuildList)
{
    if (!loadInBackground) {
        LoadNow(path);
        if (rebuildList) {
            files.BuildFileList(path, settings.includeSubdirectories);
            ArrangeFiles(true);
        }
        return Settle();
    }
    PendingLoad next;
    next.path = path;
    if (rebuildList) {
        // Built now, so that a step taken before the picture shows moves in
        // its folder; until then the list of the picture on screen stays.
        next.list = files;
        next.list.BuildFileList(path, settings.includeSubdirectories);
        next.ownList = true;
        next.setsIndex = true;
        next.index = next.list.CurrentIndex();
    }
    return Replace(std::move(next), false);
}

std::optional<Navigator::Arrival> Navigator::Step(NavigationStep step, bool slideShowRunning)
{
    const FileList& list = NavigationList();
    if (list.Count() == 0) {
        return std::nullopt;
    }
    const std::int64_t target = StepTarget(step, NavigationIndex(), list.Count(), settings.fastForwardSkip);
    const auto index = static_cast<std::int32_t>(target);
    browseStep = BrowseDirection(step);
    if (loadInBackground) {
        PendingLoad next;
        next.path = list.Entries()[static_cast<std::size_t>(index)];
        next.navigation = true;
        next.setsIndex = true;
        next.index = index;
        if (pending.active && pending.ownList) {
            next.ownList = true;
            next.list = std::move(pending.list);
        }
        return Replace(std::move(next), slideShowRunning);
    }
    Arrival arrival;
    arrival.navigation = true;
    arrival.waitCursor = true;
    arrival.remembered = window.SetCursor(ViewCursor::Wait);
    files.SetCurrentIndex(index);
    LoadNow(files.Entries()[static_cast<std::size_t>(index)]);
    Settle();
    return arrival;
}

std::optional<Navigator::Arrival> Navigator::Replace(PendingLoad next, bool slideShowRunning)
{
    if (pending.active && pending.path != next.path) {
        cache.Cancel(pending.path);
    }
    // One wait cursor for a run of steps, and back to what it replaced once
    // the last of them shows (or something else is opened instead).
    if (pending.active && pending.waitCursor) {
        if (next.navigation) {
            next.waitCursor = true;
            next.remembered = pending.remembered;
        } else {
            window.SetCursor(pending.remembered);
        }
    }
    // A progress already on show goes on with the new decode's.
    next.showsProgress = pending.active && pending.showsProgress;
    pending = std::move(next);
    pending.active = false;
    return Begin(slideShowRunning);
}

void Navigator::ShowWaitCursor()
{
    if (pending.navigation && !pending.waitCursor) {
        pending.waitCursor = true;
        pending.remembered = window.SetCursor(ViewCursor::Wait);
    }
}

std::optional<Navigator::Arrival> Navigator::Begin(bool slideShowRunning)
{
    // A step to a picture the cache has ready shows it at once, without the
    // wait cursor, whose first showing alone costs X11 milliseconds; a slide
    // show keeps it on every step, as its own cursor rules build on it.
    if (slideShowRunning) {
        ShowWaitCursor();
    }
    if (LoadFromCache(pending.path)) {
        return Settle();
    }
    ShowWaitCursor();
    if (!cache.Start(pending.path, FirstLookWanted())) {
        // Without a thread to decode on, here and now.
        LoadNow(pending.path);
        return Settle();
    }
    pending.active = true;
    timer.StartTimer(kLoadPollTimerId, kLoadPollPeriod);
    if (!pending.showsProgress) {
        timer.StartTimer(kLoadProgressTimerId, kLoadProgressDelay);
    }
    return std::nullopt;
}

std::optional<Navigator::Arrival> Navigator::OnTimer(unsigned id)
{
    if (id == kLoadProgressTimerId) {
        timer.StopTimer(kLoadProgressTimerId);
        if (!pending.active) {
            return std::nullopt;
        }
        pending.showsProgress = true;
        pending.shownPercent = -1;
    }
    return Poll();
}

std::optional<Navigator::Arrival> Navigator::Poll()
{
    if (!pending.active) {
        StopLoadTimers();
        return std::nullopt;
    }
    if (LoadFromCache(pending.path)) {
        const bool afterFirstLook = pending.firstLookShown;
        Arrival arrival = Settle();
        arrival.afterFirstLook = afterFirstLook;
        return arrival;
    }
    // A decode of a file that changed meanwhile was dropped: once more, as
    // the file is now, with a first look of its own.
    if (!cache.Holds(pending.path)) {
        pending.firstLookShown = false;
        if (!cache.Start(pending.path, FirstLookWanted())) {
            LoadNow(pending.path);
            return Settle();
        }
    }
    if (!pending.firstLookShown && ShowFirstLook()) {
        Arrival arrival{pending.navigation, pending.waitCursor, pending.remembered};
        arrival.firstLook = true;
        // What is on screen now has its place in the list; the cursor and a
        // slide show's timer follow it, not the picture that replaces it.
        if (pending.ownList) {
            files = std::move(pending.list);
            pending.ownList = false;
        }
        if (pending.setsIndex) {
            files.SetCurrentIndex(pending.index);
        }
        pending.firstLookShown = true;
        pending.navigation = false;
        pending.waitCursor = false;
        return arrival;
    }
    if (pending.showsProgress) {
        const int percent = LoadingPercent();
        if (percent != pending.shownPercent) {
            pending.shownPercent = percent;
            frame.SetStatusText(LoadingText());
        }
    }
    return std::nullopt;
}

Navigator::Arrival Navigator::Settle()
{
    PendingLoad done = std::move(pending);
    pending = PendingLoad{};
    StopLoadTimers();
    if (done.ownList) {
        files = std::move(done.list);
    }
    if (done.setsIndex) {
        files.SetCurrentIndex(done.index);
    }
    if (done.ownList) {
        ArrangeFiles(true);
    }
    return {done.navigation, done.waitCursor, done.remembered};
}

bool Navigator::CancelLoading()
{
    // A picture whose first look is on screen is the one shown: its decode
    // goes on, so that the first look does not stay in its place.
    if (!pending.active || pending.firstLookShown) {
        return false;
    }
    cache.Cancel(pending.path);
    StopLoadTimers();
    const PendingLoad dropped = std::move(pending);
    pending = PendingLoad{};
    if (dropped.waitCursor) {
        window.SetCursor(dropped.remembered);
    }
    return dropped.showsProgress;
}

void Navigator::StopLoadTimers()
{
    timer.StopTimer(kLoadPollTimerId);
    timer.StopTimer(kLoadProgressTimerId);
}

// ---- the list

void Navigator::RefreshFileList()
{
    files.BuildFileList(document.Path(), settings.includeSubdirectories);
    ArrangeFiles(true);
}

void Navigator::ArrangeFiles(bool built)
{
    const bool reading =
        listOrder.Arrange(files, SortOrderFromSetting(settings.sortOrder), settings.sortReverse, built);
    FollowPendingStep();
    // The reading waits for the first tick, which comes after the picture
    // is painted.
    if (reading) {
        timer.StartTimer(kListOrderTimerId, kListOrderPeriod);
    } else {
        timer.StopTimer(kListOrderTimerId);
    }
}

bool Navigator::OnListOrderTimer()
{
    bool changed = false;
    if (listOrder.ReadingDue()) {
        listOrder.StartReading(files);
    } else if (listOrder.Deliver(files)) {
        FollowPendingStep();
        changed = true;
    }
    if (!listOrder.Reading()) {
        timer.StopTimer(kListOrderTimerId);
    }
    return changed;
}

void Navigator::FollowPendingStep()
{
    if (!pending.active || !pending.setsIndex || pending.ownList) {
        return;
    }
    const std::vector<std::string>& entries = files.Entries();
    const auto found = std::find(entries.begin(), entries.end(), pending.path);
    if (found != entries.end()) {
        pending.index = static_cast<std::int32_t>(found - entries.begin());
    }
}

std::optional<std::string> Navigator::NeighbourAfterDeletion()
{
    const std::int64_t count = files.Count();
    const std::int64_t current = files.CurrentIndex();
    const std::int64_t neighbour = current == count - 1 ? current - 1 : current + 1;
    files.SetCurrentIndex(static_cast<std::int32_t>(std::clamp<std::int64_t>(
        neighbour, std::numeric_limits<std::int32_t>::min(), std::numeric_limits<std::int32_t>::max())));
    if (!files.Holds(neighbour)) {
        return std::nullopt;
    }
    return files.Entries()[static_cast<std::size_t>(neighbour)];
}

void Navigator::PrefetchNeighbours()
{
    const std::int64_t count = files.Count();
    const std::int64_t current = files.CurrentIndex();
    const PxBitmap* shown = document.Decoded();
    // A first look is not yet the picture the user waits for.
    if (!document.Loaded() || shown == nullptr || document.ShowsFirstLook() || count < 2 || !files.Holds(current)) {
        return;
    }
    const std::uint64_t bytes =
        static_cast<std::uint64_t>(shown->Stride()) * static_cast<std::uint64_t>(shown->Height());
    if (!cache.WouldKeep(bytes)) {
        return;
    }
    // The way the user is going first: with two decodes at a time both
    // neighbours start at once, but the first one gets the head start. Each
    // makes its first look too, so that a step onto a neighbour still
    // decoding shows at once what a step to one not begun would show first.
    const FirstLook look = FirstLookWanted();
    for (const std::int64_t offset : {std::int64_t{browseStep}, -std::int64_t{browseStep}}) {
        const std::int64_t index = ((current + offset) % count + count) % count;
        const std::string& neighbour = files.Entries()[static_cast<std::size_t>(index)];
        if (neighbour != document.Path()) {
            cache.Prefetch(neighbour, look);
        }
    }
}

void Navigator::AdoptDecodes(PictureCache&& early)
{
    cache = std::move(early);
}

}  // namespace brelvix
