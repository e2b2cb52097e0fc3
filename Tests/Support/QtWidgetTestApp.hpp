#pragma once

#include "QtTestApp.hpp"

#include <QApplication>
#include <QDir>
#include <QTest>
#include <QWidget>

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

// Where a test saves the picture of a view it grabbed, to be opened and looked at:
// <temp>/zelvane-grabs/<name>, the folder made on first use.
inline QString grabPath(const char* name) {
    const QString dir = QDir::temp().filePath(QStringLiteral("zelvane-grabs"));
    QDir().mkpath(dir);
    return QDir(dir).filePath(QString::fromUtf8(name));
}

// Shows `widget` as a window of the given size; whether it was exposed in time.
inline bool showExposed(QWidget& widget, int width, int height) {
    widget.resize(width, height);
    widget.show();
    return QTest::qWaitForWindowExposed(&widget);
}
