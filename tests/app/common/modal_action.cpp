#include "modal_action.h"

#include <QApplication>

namespace brelvix::app {

ModalAction::ModalAction(std::function<bool(QWidget* modal, QWidget* popup)> act)
{
    timer.setInterval(10);
    QObject::connect(&timer, &QTimer::timeout, [this, act = std::move(act)] {
        if (act(QApplication::activeModalWidget(), QApplication::activePopupWidget())) {
            timer.stop();
            done = true;
        }
    });
    timer.start();
}

ModalAction::~ModalAction()
{
    timer.stop();
}

}  // namespace brelvix::app
