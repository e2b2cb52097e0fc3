#include "ZelvaneMac/App/LanguageRelaunch.hpp"

#include <QProcess>
#include <QProcessEnvironment>
#include <QThread>

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <string_view>
#include <unistd.h>

#include "ZelvaneMac/Core/Settings/Preferences.hpp"

namespace zelvane {

LanguageRelaunch::LanguageRelaunch(Preferences& preferences, QString program, Launcher launcher,
                                   std::function<void()> quit, QObject* parent)
    : QObject(parent),
      preferences_(preferences),
      program_(std::move(program)),
      launcher_(std::move(launcher)),
      quit_(std::move(quit)) {
    const QString key = preferenceKeyName(PreferenceKeys::appLanguageOverride);
    // Compared as read, defaults included: storing "system" over an absent key, or the language
    // already in force, changes nothing.
    language_ = preferences_.value(PreferenceKeys::appLanguageOverride);
    connect(&preferences_, &Preferences::changed, this, [this, key](const QString& changed) {
        if (changed != key) return;
        const QString language = preferences_.value(PreferenceKeys::appLanguageOverride);
        if (language == language_) return;
        language_ = language;
        // A choice in the Language menu stores a value ("system" included); only a reset of all
        // settings removes the key, and the reset restarts the program itself. Restarting here
        // too would leave two instances running.
        if (!preferences_.object(key).isValid()) return;
        relaunch();
    });
}

void LanguageRelaunch::relaunch() {
    if (relaunched_) return;
    relaunched_ = true;
    // The new copy applies the override it reads from disk, so it must be there first.
    const QString failure = preferences_.synchronize();
    if (!failure.isEmpty()) qWarning("ZelvaneMac: the settings could not be saved before the restart: %s", qPrintable(failure));
    QStringList environment{QStringLiteral("%1=%2").arg(QLatin1String(waitVariable)).arg(qint64(::getpid()))};
    if (carried_) environment += carried_();
    if (!launcher_(program_, {}, environment)) qWarning("ZelvaneMac: the program could not be started again");
    quit_();
}

LanguageRelaunch::Launcher LanguageRelaunch::detachedLauncher() {
    return [](const QString& program, const QStringList& arguments, const QStringList& extraEnvironment) {
        QProcess process;
        process.setProgram(program);
        process.setArguments(arguments);
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        for (const QString& entry : extraEnvironment) {
            const qsizetype eq = entry.indexOf(u'=');
            environment.insert(entry.left(eq), entry.mid(eq + 1));
        }
        process.setProcessEnvironment(environment);
        process.setStandardInputFile(QProcess::nullDevice());
        return process.startDetached();
    };
}

void waitForRelaunchingProcess(int limitMillis) {
    const char* text = std::getenv(LanguageRelaunch::waitVariable);
    if (!text) return;
    char* end = nullptr;
    const long pid = std::strtol(text, &end, 10);
    const bool valid = end && *end == '\0' && pid > 1 && pid != ::getpid();
    ::unsetenv(LanguageRelaunch::waitVariable);
    if (!valid) return;
    constexpr int stepMillis = 50;
    for (int waited = 0; waited < limitMillis; waited += stepMillis) {
        if (::kill(pid_t(pid), 0) != 0 && errno == ESRCH) break;
        QThread::msleep(stepMillis);
    }
    QThread::msleep(500);
}

bool takeMoveToApplicationsOfferedVariable() {
    const char* text = std::getenv(moveToApplicationsOfferedVariable);
    const bool offered = text && std::string_view(text) == "1";
    ::unsetenv(moveToApplicationsOfferedVariable);
    return offered;
}

}  // namespace zelvane
