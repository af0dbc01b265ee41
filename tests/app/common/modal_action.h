// Acting on a dialog or pop-up that the code under test shows and runs in a
// nested event loop: the action runs from inside that loop.
#pragma once

#include <QTimer>
#include <QWidget>
#include <functional>

namespace brelvix::app {

class ModalAction {
public:
    // Calls `act` with the active modal widget and the active pop-up (either
    // may be null) every few milliseconds until it returns true.
    explicit ModalAction(std::function<bool(QWidget* modal, QWidget* popup)> act);
    ~ModalAction();
    ModalAction(const ModalAction&) = delete;
    ModalAction& operator=(const ModalAction&) = delete;

    bool Done() const { return done; }

private:
    QTimer timer;
    bool done = false;
};

}  // namespace brelvix::app
