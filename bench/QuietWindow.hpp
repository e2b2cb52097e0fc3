#pragma once

// What the window benchmarks share: a main window that asks nothing at start-up and follows no
// changes on disk, and a meter of the longest time the GUI thread did not answer.

#include <QElapsedTimer>
#include <QObject>
#include <QTemporaryDir>
#include <QTimer>

#include <algorithm>
#include <ctime>

#include "ZelvaneMac/Core/Settings/Preferences.hpp"
#include "ZelvaneMac/Widgets/MainWindow/MainWindow.hpp"
#include "ZelvaneMac/Window/WindowStartup.hpp"

namespace zelvane::bench {

// A shown 1400 x 900 main window with preferences of its own in a temporary folder.
struct QuietWindow {
    QTemporaryDir prefsDir;
    Preferences prefs{prefsDir.filePath(QStringLiteral("prefs.plist"))};
    // Set before the window reads the preferences.
    bool monitoringOff = (prefs.set(PreferenceKeys::monitorFileSystemForChanges, false), true);
    MainWindow window{prefs, {}};

    QuietWindow() {
        WindowStartupHooks hooks;
        hooks.hasFullDiskAccess = [] { return true; };
        window.setStartupHooks(hooks);
        window.resize(1400, 900);
        window.show();
    }
};

// The longest gap between two turns of a 1 ms timer on the GUI thread, from start() to stop(); a
// gap still open at stop() counts too. Also the longest processor time the GUI thread used within
// one gap (its own work, which the machine's load does not lengthen) and the gaps of 100 ms or more.
struct StallMeter {
    QTimer timer;
    QElapsedTimer clock;
    qint64 last = 0;
    qint64 worst = 0;
    double lastCpuMs = 0;
    double worstOwnMs = 0;
    int longGaps = 0;
    StallMeter() {
        timer.setTimerType(Qt::PreciseTimer);
        timer.setInterval(1);
        QObject::connect(&timer, &QTimer::timeout, [this] {
            const qint64 now = clock.nsecsElapsed();
            const double cpu = threadCpuMs();
            worst = std::max(worst, now - last);
            longGaps += now - last >= 100'000'000;
            worstOwnMs = std::max(worstOwnMs, cpu - lastCpuMs);
            last = now;
            lastCpuMs = cpu;
        });
    }
    void start() {
        clock.start();
        last = 0;
        worst = 0;
        lastCpuMs = threadCpuMs();
        worstOwnMs = 0;
        longGaps = 0;
        timer.start();
    }
    // Milliseconds.
    double stop() {
        timer.stop();
        return double(std::max(worst, clock.nsecsElapsed() - last)) / 1e6;
    }
    static double threadCpuMs() {
        timespec ts{};
        clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
        return double(ts.tv_sec) * 1e3 + double(ts.tv_nsec) / 1e6;
    }
};

}  // namespace zelvane::bench
