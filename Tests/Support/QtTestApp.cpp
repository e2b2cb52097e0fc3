#include "QtTestApp.hpp"
#include "QtWidgetTestApp.hpp"

#include <QDir>
#include <QElapsedTimer>
#include <QGuiApplication>
#include <QTest>
#include <QThreadPool>
#include <QWidget>
#include <chrono>
#include <cstdlib>
#include <thread>
#include <gtest/gtest.h>

namespace {

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

}  // namespace

QCoreApplication& qtTestApp() {
    static QCoreApplication* app = createOffscreenTestApp<QGuiApplication>();
    return *app;
}

QApplication& qtWidgetApp() {
    static QApplication* app = createOffscreenTestApp<QApplication>();
    return *app;
}

bool processEventsUntil(const std::function<bool()>& done, int timeoutMs) {
    QElapsedTimer t;
    t.start();
    while (!done()) {
        if (t.elapsed() > timeoutMs) return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    }
    return true;
}

bool pumpUntil(const std::function<bool()>& done, int timeoutMs) {
    qtTestApp();
    return processEventsUntil(done, timeoutMs);
}

bool pumpWidgetsUntil(const std::function<bool()>& done, int timeoutMs) {
    qtWidgetApp();
    return processEventsUntil(done, timeoutMs);
}

QString grabPath(const char* name) {
    const QString dir = QDir::temp().filePath(QStringLiteral("zelvane-grabs"));
    QDir().mkpath(dir);
    return QDir(dir).filePath(QString::fromUtf8(name));
}

bool showExposed(QWidget& widget, int width, int height) {
    widget.resize(width, height);
    widget.show();
    return QTest::qWaitForWindowExposed(&widget);
}

void PrintTo(const QString& s, std::ostream* os) { *os << '"' << s.toStdString() << '"'; }

void PrintTo(const QStringList& l, std::ostream* os) {
    *os << '{';
    for (const QString& s : l) *os << ' ' << '"' << s.toStdString() << '"';
    *os << " }";
}

HeldPoolThreads::HeldPoolThreads() {
    QThreadPool* pool = QThreadPool::globalInstance();
    threads_ = pool->maxThreadCount();
    for (int i = 0; i < threads_; ++i)
        pool->start([shared = shared_] {
            ++shared->holding;
            while (!shared->release.load()) std::this_thread::sleep_for(std::chrono::milliseconds(1));
            ++shared->ended;
        });
}

bool HeldPoolThreads::waitUntilHeld(int timeoutMs) {
    return processEventsUntil([&] { return shared_->holding.load() == threads_; }, timeoutMs);
}

void HeldPoolThreads::release() {
    if (std::exchange(released_, true)) return;
    shared_->release = true;
    // Tasks still queued behind other work run and end at once; the event loop keeps turning in
    // case that work waits for it.
    while (shared_->ended.load() < threads_) {
        if (QCoreApplication::instance())
            QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        else
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
}
