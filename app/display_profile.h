// The colour profile of the display the main window is on, as X11 desktops
// publish it: the ICC profile's bytes in a property of the root window,
// "_ICC_PROFILE" for the first monitor and "_ICC_PROFILE_1",
// "_ICC_PROFILE_2", ... for the others, set by the desktop's colour
// management (or by hand, with xprop's kin). Other window systems
// (Wayland, the offscreen platform of the tests) publish nothing here, and
// the view shows sRGB.
#pragma once

#include <QAbstractNativeEventFilter>
#include <QObject>
#include <QPointer>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

class QWidget;
class QWindow;

namespace brelvix::app {

// The property of the monitor at `index` (0 first, in the order the desktop
// lists them, the primary one first).
std::string IccPropertyName(int index);

// Follows the profile of the display `window` shows on and reports each new
// one: when the property is set, replaced or removed, and when the window
// moves to another monitor. A profile larger than the largest the picture
// library takes from a file counts as none.
class DisplayProfileWatcher : public QObject, public QAbstractNativeEventFilter {
    Q_OBJECT

public:
    // `changed` receives the profile's bytes, empty for none (sRGB).
    using Changed = std::function<void(const std::vector<std::uint8_t>& icc)>;

    DisplayProfileWatcher(QWidget* window, Changed changed);
    ~DisplayProfileWatcher() override;

    // Reads the property again and reports it when it differs from the last
    // one reported (the first reading is always reported).
    void Refresh();
    const std::vector<std::uint8_t>& Profile() const { return profile; }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    bool nativeEventFilter(const QByteArray& eventType, void* message, qintptr* result) override;

private:
    // The monitor the window is on, counted as IccPropertyName counts.
    int MonitorIndex() const;
    std::vector<std::uint8_t> Read(int index);
    std::uint32_t Atom(const std::string& name);

    QWidget* window;
    Changed changed;
    // The X connection and root window; null off X11.
    void* connection = nullptr;
    std::uint32_t root = 0;
    // The property read last, by its atom.
    std::uint32_t property = 0;
    QPointer<QWindow> followed;
    bool reported = false;
    std::vector<std::uint8_t> profile;
};

}  // namespace brelvix::app
