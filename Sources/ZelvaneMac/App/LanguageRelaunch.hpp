#pragma once

#include <QObject>
#include <QString>
#include <QStringList>
#include <functional>
#include <sys/types.h>

namespace zelvane {

class Preferences;

// Restarts the program once when another interface language is chosen: the preferences are
// written to disk, a new copy of the program is started (an argument list, no shell) that waits
// for this process to end, and this one quits. One per application, whatever the number of
// windows. The language key removed by a reset of all settings is no choice: the reset restarts.
class LanguageRelaunch final : public QObject {
    Q_OBJECT
public:
    // Starts the program detached; false when it could not be started.
    using Launcher = std::function<bool(const QString& program, const QStringList& arguments,
                                        const QStringList& extraEnvironment)>;

    // The variable that tells the new copy which process to wait for.
    static constexpr const char* waitVariable = "ZELVANE_RELAUNCH_AFTER_PID";

    LanguageRelaunch(Preferences& preferences, QString program, Launcher launcher, std::function<void()> quit,
                     QObject* parent = nullptr);

    bool hasRelaunched() const { return relaunched_; }
    // "NAME=value" entries the new copy is started with besides the wait variable, read at the
    // moment of the restart.
    void setCarriedEnvironment(std::function<QStringList()> carried) { carried_ = std::move(carried); }

    static Launcher detachedLauncher();

private:
    void relaunch();

    Preferences& preferences_;
    QString program_;
    Launcher launcher_;
    std::function<void()> quit_;
    std::function<QStringList()> carried_;
    QString language_;
    bool relaunched_ = false;
};

// In a copy started by a relaunch: waits until the process named by the wait variable has ended
// (at most `limitMillis`), then half a second more, as a reopen after quitting would. The variable
// is removed either way, so programs this one starts do not wait.
void waitForRelaunchingProcess(int limitMillis = 15000);

// The variable by which a restarting copy tells the new one that the offer to move into the
// Applications folder was made in this run.
inline constexpr const char* moveToApplicationsOfferedVariable = "ZELVANE_MOVE_OFFER_MADE";
// Whether the copy this one replaced made that offer. The variable is removed, so programs this
// one starts are runs of their own.
bool takeMoveToApplicationsOfferedVariable();

}  // namespace zelvane
