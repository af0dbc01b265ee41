// Decoding pictures ahead of time, each on a thread of its own, so that the
// picture the user is about to see is ready when it is asked for: the one
// named on the command line while the window system is being set up, and
// the neighbour in the browsing direction once a picture is on screen.
//
// A prefetched picture is handed out only when the file is still the one
// that was decoded (same device, inode, size, modification and change
// times), so what the viewer shows is always what a load at that moment
// would give.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "imaging/bitmap.h"

namespace brelvix {

class PicturePrefetch {
public:
    PicturePrefetch();
    // Waits for the decodes still running.
    ~PicturePrefetch();
    PicturePrefetch(const PicturePrefetch&) = delete;
    PicturePrefetch& operator=(const PicturePrefetch&) = delete;
    PicturePrefetch(PicturePrefetch&& other) noexcept;
    // Waits for this one's decodes, then takes over the other's.
    PicturePrefetch& operator=(PicturePrefetch&& other) noexcept;

    // Starts decoding `path` unless it is being decoded or waiting already.
    // A prefetch of another path is dropped (a running decode finishes on
    // its own and is then discarded). Nothing starts while two decodes are
    // running or when no thread can be had.
    void Start(const std::string& path);

    // The picture of `path` if it was prefetched and the file is unchanged,
    // waiting for its decode to finish; `result` receives what
    // PxBitmap::CreateFromFile returned for it. Null otherwise. Prefetches
    // of other paths are dropped.
    std::unique_ptr<PxBitmap> Take(const std::string& path, int* result);

    // Waits until no decode is running (the prefetched picture, if any,
    // stays available).
    void Wait();

private:
    struct Job;
    // Moves the current prefetch among the dropped ones and frees those
    // whose decode has finished.
    void Drop();

    // The prefetch Take may hand out; null when there is none.
    std::unique_ptr<Job> current;
    // Decodes no longer wanted, still running when last looked at.
    std::vector<std::unique_ptr<Job>> dropped;
};

}  // namespace brelvix
