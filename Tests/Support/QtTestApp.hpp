#pragma once

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QGuiApplication>
#include <QString>
#include <QStringList>
#include <atomic>
#include <functional>
#include <gtest/gtest.h>
#include <memory>
#include <ostream>

// One application object for a whole test program, on the offscreen platform so that text and
// images work without a display.
QCoreApplication& qtTestApp();

// Runs the event loop of the existing application until `done` holds or `timeoutMs` passes;
// returns whether it held.
bool processEventsUntil(const std::function<bool()>& done, int timeoutMs);
bool pumpUntil(const std::function<bool()>& done, int timeoutMs = 30000);

// Readable failure messages for Qt strings.
void PrintTo(const QString& s, std::ostream* os);
void PrintTo(const QStringList& l, std::ostream* os);

// Takes every thread of the global thread pool with a task that waits to be let go, so that work
// started meanwhile is queued behind it. The tasks share their state with this object rather than
// with a test's frame, and they are let go and waited for on every way out of the test (an
// assertion that returns early included): none is left spinning on a frame that is gone, nor
// holds a thread the next test (or the next repetition of this one) needs.
class HeldPoolThreads final {
public:
    HeldPoolThreads();
    ~HeldPoolThreads() { release(); }
    HeldPoolThreads(const HeldPoolThreads&) = delete;
    HeldPoolThreads& operator=(const HeldPoolThreads&) = delete;

    // Whether every thread is held within `timeoutMs` (the event loop runs meanwhile).
    bool waitUntilHeld(int timeoutMs = 30000);
    // Lets the tasks go and waits until each has ended.
    void release();

private:
    struct Shared {
        std::atomic<bool> release{false};
        std::atomic<int> holding{0};
        std::atomic<int> ended{0};
    };
    std::shared_ptr<Shared> shared_ = std::make_shared<Shared>();
    int threads_ = 0;
    bool released_ = false;
};
