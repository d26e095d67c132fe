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

// Processes events until `done()` holds; false when `limit` passes first. Events are
// processed in short slices with `done()` asked between them. QTest::qWaitFor hands its
// whole time-out to one processEvents() call instead, and while the web engine keeps
// posting work that starved it: under load, a page loading in a second view stalled
// there for a minute.
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
