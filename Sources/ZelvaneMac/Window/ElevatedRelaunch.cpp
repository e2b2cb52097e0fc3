#include "ZelvaneMac/Window/ElevatedRelaunch.hpp"

#include <QFileInfo>
#include <QTimer>

#include "ZelvaneMac/Core/Text/Localization.hpp"
#include "ZelvaneMac/Window/ChildProcess.hpp"
#include "ZelvaneMac/Window/RelaunchSettings.hpp"

namespace zelvane {

namespace {

bool isProgram(const QString& path) {
    const QFileInfo info(path);
    return !path.isEmpty() && info.isFile() && info.isExecutable();
}

}  // namespace

ElevatedRelaunch::ElevatedRelaunch(Preferences& preferences, RelaunchEnvironment environment, QObject* parent)
    : QObject(parent), preferences_(preferences), env_(std::move(environment)) {}

void ElevatedRelaunch::notGranted() {
    failed_ = true;
    emit restartFailed(localized("Administrator access wasn't granted, or the password prompt was cancelled."));
}

void ElevatedRelaunch::couldNotStart(const QString& reason) {
    phase_ = Phase::idle;
    emit restartFailed(fillPlaceholders(localized("Couldn't start the elevated relaunch: %@"), {reason}));
}

void ElevatedRelaunch::restartAsAdministrator(std::optional<QRect> windowFrame) {
    if (phase_ != Phase::idle) return;
    if (!isProgram(env_.askpassPath) || !isProgram(env_.executablePath)) {
        emit restartFailed(localized("Couldn't find the Ostrane helper inside this app bundle."));
        return;
    }
    failed_ = false;
    const QStringList environment = askpassEnvironment(env_, windowFrame);
    // Validation only: sudo asks through the prompt and starts nothing. The prompt may take as long
    // as the user needs; this instance stays until the answer is known.
    phase_ = Phase::validating;
    const auto error = startWatchedProcess(validationRequest(env_, environment), this, [this, environment](ProcessEnd end) {
        if (!end.succeeded()) {
            phase_ = Phase::idle;
            notGranted();
            return;
        }
        startElevatedInstance(environment);
    });
    if (error) couldNotStart(*error);
}

void ElevatedRelaunch::startElevatedInstance(const QStringList& askpassEnvironment) {
    // The elevated instance copies the user's settings when it starts: they must be on disk first.
    flushSettings(preferences_, env_);
    const quint64 attempt = ++attempt_;
    const auto error =
        startWatchedProcess(elevatedStartRequest(env_, askpassEnvironment), this, [this, attempt](ProcessEnd end) {
            if (end.succeeded() || attempt != attempt_) return;
            if (phase_ == Phase::waitingToQuit) phase_ = Phase::idle;
            notGranted();
        });
    if (error) {
        couldNotStart(*error);
        return;
    }
    phase_ = Phase::waitingToQuit;
    // Only this attempt's quit: a timer left from an earlier attempt that failed must not end the
    // instance while the user is answering a later prompt.
    QTimer::singleShot(env_.quitDelay, this, [this, attempt] {
        if (attempt != attempt_ || phase_ != Phase::waitingToQuit || failed_) return;
        if (env_.quit) env_.quit();
    });
}

void ElevatedRelaunch::restartWithoutAdministrator() {
    const std::optional<ProcessRequest> start = realUserStartRequest(env_);
    if (!start) {
        emit restartFailed(localized("Couldn't determine which user to restart as (SUDO_USER isn't set)."));
        return;
    }
    // The new instance reads the user's settings as it starts; this one writes them back first.
    flushSettings(preferences_, env_);
    if (const auto error = startWatchedProcess(*start, nullptr, {})) {
        emit restartFailed(fillPlaceholders(localized("Couldn't restart without administrator: %@"), {*error}));
        return;
    }
    if (env_.quit) env_.quit();
}

void ElevatedRelaunch::resetConfigurationAndRestart() {
    if (const QString reason = removeSettings(preferences_, env_, {}); !reason.isEmpty()) {
        emit restartFailed(reason);
        return;
    }
    relaunchAfterQuitWithout({});
    if (env_.quit) env_.quit();
}

void ElevatedRelaunch::resetPermissionsAndRestart() {
    const QStringList keys = accessDecisionKeys();
    if (const QString reason = removeSettings(preferences_, env_, keys); !reason.isEmpty()) {
        emit permissionsResetFailed(reason);
        return;
    }
    relaunchAfterQuitWithout(keys);
    if (env_.quit) env_.quit();
}

void ElevatedRelaunch::relaunchAfterQuitWithout(const QStringList& keys) {
    if (!env_.atQuit) return;
    // Closing windows may store their frames and columns again; the new instance starts only after
    // those writes, with the keys removed once more. The store outlives the event loop; this object
    // may not, so the work holds copies.
    Preferences* preferences = &preferences_;
    env_.atQuit([preferences, env = env_, keys] {
        removeSettings(*preferences, env, keys);
        // A failed start is not reported: the reset has happened and the instance is going.
        startWatchedProcess(programStartRequest(env), nullptr, {});
    });
}

}  // namespace zelvane
