#pragma once

#include <QApplication>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <cstdlib>
#include <functional>

// One QApplication for a whole widget test program, on the offscreen platform. Widget tests use
// this instead of qtTestApp(): a program has one application object, and widgets need this kind.
inline QApplication& qtWidgetApp() {
    static int argc = 1;
    static char name[] = "tests";
    static char* argv[] = {name, nullptr};
    static QApplication* app = [] {
        setenv("QT_QPA_PLATFORM", "offscreen", 0);
        return new QApplication(argc, argv);
    }();
    return *app;
}

// Runs the event loop until `done` holds or `timeoutMs` passes; returns whether it held.
inline bool pumpWidgetsUntil(const std::function<bool()>& done, int timeoutMs = 30000) {
    qtWidgetApp();
    QElapsedTimer t;
    t.start();
    while (!done()) {
        if (t.elapsed() > timeoutMs) return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    }
    return true;
}
