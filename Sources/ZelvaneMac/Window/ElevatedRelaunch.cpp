#include "ZelvaneMac/Window/ElevatedRelaunch.hpp"

#include <QCoreApplication>
#include <QFileInfo>
#include <QPointer>
#include <QProcessEnvironment>
#include <QTimer>

#include <cstring>
#include <unistd.h>

#include "ZelvaneMac/Core/Settings/Preferences.hpp"
#include "ZelvaneMac/Core/Settings/PropertyList.hpp"
#include "ZelvaneMac/Core/Text/Localization.hpp"
#include "ZelvaneMac/Services/PreferenceSync.hpp"
#include "ZelvaneMac/Window/ChildProcess.hpp"

namespace zelvane {

namespace {

// Settings files are small; anything larger is not one of ours and is left alone.
constexpr size_t kMaxSettingsBytes = 16u << 20;

QString variable(const QStringList& environment, const QString& name) {
    const QString prefix = name + QLatin1Char('=');
    for (const QString& entry : environment) {
        if (entry.startsWith(prefix)) return entry.mid(prefix.size());
    }
    return {};
}

QStringList withVariable(QStringList environment, const QString& name, const std::optional<QString>& value) {
    const QString prefix = name + QLatin1Char('=');
    environment.removeIf([&](const QString& entry) { return entry.startsWith(prefix); });
    if (value) environment << prefix + *value;
    return environment;
}

bool isProgram(const QString& path) {
    const QFileInfo info(path);
    return !path.isEmpty() && info.isFile() && info.isExecutable();
}

QString errnoText(int error) { return QString::fromLocal8Bit(std::strerror(error)); }

// Removes `keys` (all keys when empty) from the store and, in an elevated run, from the real user's
// file too: otherwise the write-back at the end of the run, which keeps keys that only the user's
// file has, would leave the user's settings as they were. Empty on success, else the reason.
QString removeSettings(Preferences& preferences, const RelaunchEnvironment& env, const QStringList& keys) {
    for (const QString& key : keys.isEmpty() ? preferences.allKeys() : keys) preferences.remove(key);
    if (QString reason = preferences.synchronize(); !reason.isEmpty()) return reason;
    if (!env.elevated || !env.realUser) return {};

    const std::string path = settingsPathOf(*env.realUser).toStdString();
    QVariantMap values;
    if (!keys.isEmpty()) {
        const auto bytes = readFileAsUser(*env.realUser, path, kMaxSettingsBytes);
        if (!bytes) return {};  // no file of the user's: nothing of it to clear
        const auto dictionary = PropertyList::dictionaryFromData(QByteArray::fromStdString(*bytes));
        if (!dictionary) return {};  // not ours to rewrite
        values = *dictionary;
        bool changed = false;
        for (const QString& key : keys) changed |= values.remove(key) > 0;
        if (!changed) return {};
    }
    const QByteArray xml = PropertyList::xmlFromDictionary(values);
    if (const int error = replaceFileAsUser(*env.realUser, path, std::string_view(xml.constData(), size_t(xml.size()))))
        return QString::fromStdString(path) + QStringLiteral(": ") + errnoText(error);
    return {};
}

}  // namespace

RelaunchEnvironment RelaunchEnvironment::forThisProcess() {
    RelaunchEnvironment env;
    env.executablePath = QCoreApplication::applicationFilePath();
    env.askpassPath = QCoreApplication::applicationDirPath() + QStringLiteral("/Resources/Ostrane");
    env.environment = QProcessEnvironment::systemEnvironment().toStringList();
    env.elevated = ::geteuid() == 0;
    env.realUser = elevatedRealUser();
    env.quit = [] { QMetaObject::invokeMethod(QCoreApplication::instance(), &QCoreApplication::quit, Qt::QueuedConnection); };
    env.atQuit = [](std::function<void()> work) {
        QObject::connect(QCoreApplication::instance(), &QCoreApplication::aboutToQuit, QCoreApplication::instance(),
                         std::move(work), Qt::SingleShotConnection);
    };
    return env;
}

ElevatedRelaunch::ElevatedRelaunch(Preferences& preferences, RelaunchEnvironment environment, QObject* parent)
    : QObject(parent), preferences_(preferences), env_(std::move(environment)) {}

QStringList ElevatedRelaunch::displayAssignments(const QStringList& environment) {
    QStringList out;
    const QString display = variable(environment, QStringLiteral("DISPLAY"));
    if (!display.isEmpty()) out << QStringLiteral("DISPLAY=") + display;
    QString authority = variable(environment, QStringLiteral("XAUTHORITY"));
    // Without the variable X clients read ~/.Xauthority, and under sudo "~" is root's home.
    const QString home = variable(environment, QStringLiteral("HOME"));
    if (authority.isEmpty() && !display.isEmpty() && !home.isEmpty() && QFileInfo::exists(home + QStringLiteral("/.Xauthority")))
        authority = home + QStringLiteral("/.Xauthority");
    if (!authority.isEmpty()) out << QStringLiteral("XAUTHORITY=") + authority;
    QString wayland = variable(environment, QStringLiteral("WAYLAND_DISPLAY"));
    // A bare socket name is looked up in XDG_RUNTIME_DIR, which sudo does not pass on.
    const QString runtime = variable(environment, QStringLiteral("XDG_RUNTIME_DIR"));
    if (!wayland.isEmpty() && !wayland.startsWith(QLatin1Char('/')) && !runtime.isEmpty())
        wayland = runtime + QLatin1Char('/') + wayland;
    if (!wayland.isEmpty()) out << QStringLiteral("WAYLAND_DISPLAY=") + wayland;
    return out;
}

void ElevatedRelaunch::setFailed(bool value) {
    if (failed_ == value) return;
    failed_ = value;
    emit failedChanged(value);
}

void ElevatedRelaunch::restartAsAdministrator(std::optional<QRect> windowFrame) {
    if (phase_ != Phase::idle) return;
    if (!isProgram(env_.askpassPath) || !isProgram(env_.executablePath)) {
        emit restartFailed(localized("Couldn't find the Ostrane helper inside this app bundle."));
        return;
    }
    setFailed(false);

    QStringList environment = withVariable(env_.environment, QStringLiteral("SUDO_ASKPASS"), env_.askpassPath);
    std::optional<QString> frame;
    if (windowFrame && windowFrame->isValid()) {
        frame = QStringLiteral("%1,%2,%3,%4")
                    .arg(windowFrame->x())
                    .arg(windowFrame->y())
                    .arg(windowFrame->width())
                    .arg(windowFrame->height());
    }
    environment = withVariable(environment, QString::fromLatin1(kWindowFrameVariable), frame);

    // Validation only: sudo asks through the prompt and starts nothing. The prompt may take as long
    // as the user needs; this instance stays until the answer is known.
    phase_ = Phase::validating;
    const auto error = startWatchedProcess({env_.sudoProgram, {QStringLiteral("-A"), QStringLiteral("-v")}, environment},
                                           this, [this, environment](ProcessEnd end) {
                                               if (!end.succeeded()) {
                                                   phase_ = Phase::idle;
                                                   setFailed(true);
                                                   emit restartFailed(localized(
                                                       "Administrator access wasn't granted, or the password "
                                                       "prompt was cancelled."));
                                                   return;
                                               }
                                               startElevatedInstance(environment);
                                           });
    if (error) {
        phase_ = Phase::idle;
        emit restartFailed(fillPlaceholders(localized("Couldn't start the elevated relaunch: %@"), {*error}));
    }
}

void ElevatedRelaunch::startElevatedInstance(const QStringList& environment) {
    // The elevated instance copies the user's settings when it starts: they must be on disk first.
    flushPreferences();
    const QStringList arguments =
        QStringList{QStringLiteral("-A")} + displayAssignments(environment) + QStringList{env_.executablePath};
    const quint64 attempt = ++attempt_;
    const auto error = startWatchedProcess({env_.sudoProgram, arguments, environment}, this, [this, attempt](ProcessEnd end) {
        if (end.succeeded() || attempt != attempt_) return;
        if (phase_ == Phase::waitingToQuit) phase_ = Phase::idle;
        setFailed(true);
        emit restartFailed(localized("Administrator access wasn't granted, or the password prompt was cancelled."));
    });
    if (error) {
        phase_ = Phase::idle;
        emit restartFailed(fillPlaceholders(localized("Couldn't start the elevated relaunch: %@"), {*error}));
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
    const QString user = variable(env_.environment, QStringLiteral("SUDO_USER"));
    if (user.isEmpty()) {
        emit restartFailed(localized("Couldn't determine which user to restart as (SUDO_USER isn't set)."));
        return;
    }
    // The new instance reads the user's settings as it starts; this one writes them back first.
    flushPreferences();
    const QStringList arguments = QStringList{QStringLiteral("-u"), user} + displayAssignments(env_.environment) +
                                  QStringList{env_.executablePath};
    if (const auto error = startWatchedProcess({env_.sudoProgram, arguments, env_.environment}, nullptr, {})) {
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
    // Linux keeps no access decisions for programs: what there is to forget is what this program
    // stored itself about file-system access.
    const QStringList keys{QString::fromUtf8(PreferenceKeys::hasFullDiskAccessCached.name.data(),
                                             qsizetype(PreferenceKeys::hasFullDiskAccessCached.name.size())),
                           QString::fromUtf8(PreferenceKeys::suppressFullDiskAccessPrompt.name.data(),
                                             qsizetype(PreferenceKeys::suppressFullDiskAccessPrompt.name.size()))};
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
        startWatchedProcess({env.executablePath, {}, env.environment}, nullptr, {});
    });
}

QString ElevatedRelaunch::flushPreferences() {
    QString reason = preferences_.synchronize();
    if (env_.elevated && env_.realUser) {
        if (const int error = syncPreferencesBackToRealUserIfElevated(preferences_, env_.realUser)) reason = errnoText(error);
    }
    return reason;
}

}  // namespace zelvane
