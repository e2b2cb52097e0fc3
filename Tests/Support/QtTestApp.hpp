#pragma once

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QGuiApplication>
#include <QString>
#include <QStringList>
#include <QThreadPool>
#include <cstdlib>
#include <functional>
#include <gtest/gtest.h>
#include <ostream>

// The test programs never destroy their application object, so nothing waits for the shared
// thread pool as the application's destructor would: a job still drawing text when main returns
// would meet the font machinery half torn down. This waits once every test has run, while the
// pool's threads can still end cleanly.
class BackgroundJobsDrained final : public ::testing::Environment {
public:
    void TearDown() override { QThreadPool::globalInstance()->waitForDone(); }
};

template <typename Application>
Application* createOffscreenTestApp() {
    static int argc = 1;
    static char name[] = "tests";
    static char* argv[] = {name, nullptr};
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    auto* app = new Application(argc, argv);
    ::testing::AddGlobalTestEnvironment(new BackgroundJobsDrained);
    return app;
}

// One application object for a whole test program, on the offscreen platform so that text and
// images work without a display.
inline QCoreApplication& qtTestApp() {
    static QCoreApplication* app = createOffscreenTestApp<QGuiApplication>();
    return *app;
}

// Runs the event loop of the existing application until `done` holds or `timeoutMs` passes;
// returns whether it held.
inline bool processEventsUntil(const std::function<bool()>& done, int timeoutMs) {
    QElapsedTimer t;
    t.start();
    while (!done()) {
        if (t.elapsed() > timeoutMs) return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    }
    return true;
}

inline bool pumpUntil(const std::function<bool()>& done, int timeoutMs = 30000) {
    qtTestApp();
    return processEventsUntil(done, timeoutMs);
}

// Readable failure messages for Qt strings.
inline void PrintTo(const QString& s, std::ostream* os) { *os << '"' << s.toStdString() << '"'; }
inline void PrintTo(const QStringList& l, std::ostream* os) {
    *os << '{';
    for (const QString& s : l) *os << ' ' << '"' << s.toStdString() << '"';
    *os << " }";
}
