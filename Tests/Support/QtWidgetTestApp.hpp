#pragma once

#include "QtTestApp.hpp"

#include <QApplication>

// One QApplication for a whole widget test program, on the offscreen platform. Widget tests use
// this instead of qtTestApp(): a program has one application object, and widgets need this kind.
inline QApplication& qtWidgetApp() {
    static QApplication* app = createOffscreenTestApp<QApplication>();
    return *app;
}

// Runs the event loop until `done` holds or `timeoutMs` passes; returns whether it held.
inline bool pumpWidgetsUntil(const std::function<bool()>& done, int timeoutMs = 30000) {
    qtWidgetApp();
    return processEventsUntil(done, timeoutMs);
}
