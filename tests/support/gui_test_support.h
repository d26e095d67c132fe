#pragma once

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QThread>

#include <QString>

#include <chrono>
#include <ostream>

// Readable QStrings in test failures.
inline void PrintTo(const QString& text, std::ostream* os) { *os << '"' << text.toStdString() << '"'; }

namespace pw::testing {

// Processes events until `done()` holds; false when `limit` passes first.
template <class Predicate>
bool ProcessEventsUntil(Predicate done, std::chrono::milliseconds limit = std::chrono::seconds(10)) {
    QElapsedTimer timer;
    timer.start();
    while (!done()) {
        if (timer.elapsed() > limit.count()) return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        QThread::msleep(2);
    }
    return true;
}

}  // namespace pw::testing
