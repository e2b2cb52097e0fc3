#pragma once

#include <QImage>
#include <QObject>
#include <QRectF>
#include <functional>
#include <string>
#include <vector>

#include "ZelvaneMac/App/StartupSteps.hpp"

namespace zelvane {

class Preferences;

// Geometry of the administrator badge on an icon of the given size: the white disc in the bottom-right
// corner (diameter 52% of the width), the orange disc inset by 7% of that diameter, and the square
// the lock symbol is drawn into (60% of the orange disc), centred on it.
struct BadgeGeometry {
    QRectF outer;
    QRectF inner;
    QRectF symbol;
};
BadgeGeometry badgeGeometry(QSizeF iconSize);

// The application icon with that badge, shown while the program runs with administrator rights.
// The base image is not changed; an empty base gives a 128 x 128 image with the badge alone.
QImage badgedApplicationIcon(const QImage& base);

// The application's reactions to its own life: the steps once launching has finished, the
// write-backs at termination and the rule for the last closed window.
class AppDelegate final : public QObject {
    Q_OBJECT
public:
    struct Hooks {
        // Whether a main window is visible, and how to open one.
        std::function<bool()> hasVisibleWindow;
        std::function<void()> openWindow;
        // The application's icon as it is, and how to replace it for every window.
        std::function<QImage()> applicationIcon;
        std::function<void(const QImage&)> setApplicationIcon;
        std::function<bool()> isElevated;
    };

    // `exportMode`: the command line asked for outputs (an unattended run).
    AppDelegate(Preferences& preferences, bool exportMode, Hooks hooks, TerminationSteps termination,
                QObject* parent = nullptr);

    // The badge when running as root; unless an export option was given, a check 0.3 s later that
    // a main window is visible, opening one otherwise.
    void applicationDidFinishLaunching();
    // Writes the settings back to the real user of an elevated run, then to a portable drive.
    void applicationWillTerminate();
    // True unless an export option was given: the unattended run must not end with its windows.
    bool applicationShouldTerminateAfterLastWindowClosed() const;

    static constexpr int windowCheckDelayMillis = 300;

private:
    Preferences& preferences_;
    bool exportMode_;
    Hooks hooks_;
    TerminationSteps termination_;
    bool terminated_ = false;
};

}  // namespace zelvane
