#pragma once

#include <QObject>
#include <QRect>
#include <QString>

#include <optional>

#include "ZelvaneMac/Window/RelaunchEnvironment.hpp"

namespace zelvane {

class Preferences;

// The four commands that end this instance and start another: with administrator rights through
// sudo and the password prompt, back to the real user, and after resetting all settings or the
// remembered access decisions. Programs are started with argument lists, never through a shell.
//
// Restarting as administrator runs in two phases, so that a slow or mistyped password never loses
// the running window: first `sudo -A -v` only validates (the prompt may stay up as long as the user
// needs); when that fails, the instance stays and says so. Once it has succeeded the settings are
// written out, the program is started through `sudo -A`, and the instance quits `quitDelay` later
// unless that sudo has failed by then.
//
// Results go out through the signals; the window turns them into its alerts. Main thread only.
class ElevatedRelaunch final : public QObject {
    Q_OBJECT
public:
    enum class Phase { idle, validating, waitingToQuit };

    ElevatedRelaunch(Preferences& preferences, RelaunchEnvironment environment, QObject* parent = nullptr);

    // `windowFrame` is the asking window's frame, passed to the password prompt so it appears on
    // that window's display. Ignored while a restart is already under way.
    void restartAsAdministrator(std::optional<QRect> windowFrame = std::nullopt);
    void restartWithoutAdministrator();
    void resetConfigurationAndRestart();
    void resetPermissionsAndRestart();

    Phase phase() const { return phase_; }
    bool failed() const { return failed_; }
    const RelaunchEnvironment& environment() const { return env_; }

signals:
    // "Couldn't Restart" with this detail.
    void restartFailed(const QString& detail);
    // "Couldn't Reset Permissions" with this detail.
    void permissionsResetFailed(const QString& detail);

private:
    void startElevatedInstance(const QStringList& askpassEnvironment);
    // Validation or the elevated start failed: the instance stays and says so.
    void notGranted();
    // Nothing could be started: the instance stays, idle, and says why.
    void couldNotStart(const QString& reason);
    // Starts this program again once the application has quit, the settings cleared once more
    // after whatever the closing windows wrote.
    void relaunchAfterQuitWithout(const QStringList& keys);

    Preferences& preferences_;
    RelaunchEnvironment env_;
    Phase phase_ = Phase::idle;
    bool failed_ = false;
    // Counts starts of the elevated instance, so that the ends and timers of an earlier attempt
    // are told apart from the current one's.
    quint64 attempt_ = 0;
};

}  // namespace zelvane
