#include "ZelvaneMac/Window/RelaunchCommands.hpp"

#include <unistd.h>

#include "ZelvaneMac/Window/WindowPrompts.hpp"

namespace zelvane {

ElevatedRelaunch& installElevatedRelaunch(WindowPrompts& prompts, Preferences& preferences,
                                          RelaunchEnvironment environment) {
    delete prompts.findChild<ElevatedRelaunch*>(QString(), Qt::FindDirectChildrenOnly);
    auto* relaunch = new ElevatedRelaunch(preferences, std::move(environment), &prompts);
    QObject::connect(relaunch, &ElevatedRelaunch::restartFailed, &prompts,
                     [&prompts](const QString& detail) { prompts.setAdminRelaunchErrorDetail(detail); });
    QObject::connect(relaunch, &ElevatedRelaunch::permissionsResetFailed, &prompts,
                     [&prompts](const QString& detail) { prompts.setPermissionsResetErrorDetail(detail); });
    return *relaunch;
}

ElevatedRelaunch& elevatedRelaunchOf(WindowPrompts& prompts, Preferences& preferences) {
    if (auto* existing = prompts.findChild<ElevatedRelaunch*>(QString(), Qt::FindDirectChildrenOnly)) return *existing;
    return installElevatedRelaunch(prompts, preferences, RelaunchEnvironment::forThisProcess());
}

void performRestartAsAdministrator(WindowPrompts& prompts, Preferences& preferences, std::optional<QRect> windowFrame) {
    elevatedRelaunchOf(prompts, preferences).restartAsAdministrator(windowFrame);
}

void performRestartWithoutAdministrator(WindowPrompts& prompts, Preferences& preferences) {
    elevatedRelaunchOf(prompts, preferences).restartWithoutAdministrator();
}

void performFullResetAndRestart(WindowPrompts& prompts, Preferences& preferences) {
    elevatedRelaunchOf(prompts, preferences).resetConfigurationAndRestart();
}

void performPermissionsResetAndRestart(WindowPrompts& prompts, Preferences& preferences) {
    elevatedRelaunchOf(prompts, preferences).resetPermissionsAndRestart();
}

bool isRunningElevated() { return ::geteuid() == 0; }

}  // namespace zelvane
