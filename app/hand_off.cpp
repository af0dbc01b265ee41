#include "app/hand_off.h"

#include <QMetaObject>

namespace brelvix::app {

void HandOff::Post(std::function<void()> work)
{
    // Queuing only posts an event, which the window's end removes again;
    // holding the lock meanwhile keeps that end from coming in between.
    const std::lock_guard<std::mutex> hold(lock);
    if (receiver != nullptr) {
        QMetaObject::invokeMethod(receiver, std::move(work), Qt::QueuedConnection);
    }
}

void HandOff::Close()
{
    const std::lock_guard<std::mutex> hold(lock);
    receiver = nullptr;
}

}  // namespace brelvix::app
