#pragma once

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QGuiApplication>
#include <cstdlib>
#include <functional>
#include <ostream>
#include <QString>
#include <QStringList>

// One application object for a whole test program, on the offscreen platform so that text and
// images work without a display.
inline QCoreApplication& qtTestApp() {
    static int argc = 1;
    static char name[] = "tests";
    static char* argv[] = {name, nullptr};
    static QCoreApplication* app = [] {
        setenv("QT_QPA_PLATFORM", "offscreen", 0);
        return static_cast<QCoreApplication*>(new QGuiApplication(argc, argv));
    }();
    return *app;
}

// Runs the event loop until `done` holds or `timeoutMs` passes; returns whether it held.
inline bool pumpUntil(const std::function<bool()>& done, int timeoutMs = 30000) {
    qtTestApp();
    QElapsedTimer t;
    t.start();
    while (!done()) {
        if (t.elapsed() > timeoutMs) return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    }
    return true;
}

// Readable failure messages for Qt strings.
inline void PrintTo(const QString& s, std::ostream* os) { *os << '"' << s.toStdString() << '"'; }
inline void PrintTo(const QStringList& l, std::ostream* os) {
    *os << '{';
    for (const QString& s : l) *os << ' ' << '"' << s.toStdString() << '"';
    *os << " }";
}
