#pragma once
// Turns the test's Qt loop until a condition holds, for tests on devices that work in real time;
// the limit only stops a hang.

#include <QCoreApplication>
#include <QElapsedTimer>

#include <chrono>
#include <functional>
#include <thread>

namespace orb::test {

inline bool SpinQtUntil(const std::function<bool()>& pred, int limitMs) {
    QElapsedTimer t;
    t.start();
    while (!pred()) {
        if (t.elapsed() > limitMs) return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        std::this_thread::sleep_for(std::chrono::milliseconds(1));  // the devices work in real time
    }
    return true;
}

}  // namespace orb::test
