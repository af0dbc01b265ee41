// Handing work from other threads to the thread of a window object.
//
// A thread that reports back (a file manager's answer, a finished
// conversion) must not touch the window itself, and the window may be gone
// by the time it reports. A HandOff is shared between the window and such
// threads: Post queues the work on the window's thread while the window
// lives, and does nothing once the window has closed it.
#pragma once

#include <QObject>
#include <functional>
#include <mutex>

namespace brelvix::app {

class HandOff {
public:
    explicit HandOff(QObject* window) : receiver(window) {}

    // From any thread: runs `work` on the window's thread on a later pass of
    // its event loop, unless the window closes first.
    void Post(std::function<void()> work);
    // The window goes: nothing posted from now on runs. Work posted before
    // and not yet run is dropped with the window.
    void Close();

private:
    std::mutex lock;
    QObject* receiver;
};

}  // namespace brelvix::app
