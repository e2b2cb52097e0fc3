#include "ZelvaneMac/Window/RelaunchCommands.hpp"

#include <unistd.h>

#include "ZelvaneMac/Window/ContentViewState.hpp"
#include "ZelvaneMac/Window/WindowPrompts.hpp"

namespace zelvane {

ElevatedRelaunch& installElevatedRelaunch(ContentViewState& state, RelaunchEnvironment environment) {
    delete state.findChild<ElevatedRelaunch*>(QString(), Qt::FindDirectChildrenOnly);
    auto* relaunch = new ElevatedRelaunch(state.preferences(), std::move(environment), &state);
    QObject::connect(relaunch, &ElevatedRelaunch::restartFailed, &state,
                     [&state](const QString& detail) { state.prompts().setAdminRelaunchErrorDetail(detail); });
    QObject::connect(relaunch, &ElevatedRelaunch::permissionsResetFailed, &state,
                     [&state](const QString& detail) { state.prompts().setPermissionsResetErrorDetail(detail); });
    return *relaunch;
}

ElevatedRelaunch& elevatedRelaunchOf(ContentViewState& state) {
    if (auto* existing = state.findChild<ElevatedRelaunch*>(QString(), Qt::FindDirectChildrenOnly)) return *existing;
    return installElevatedRelaunch(state, RelaunchEnvironment::forThisProcess());
}

void performRestartAsAdministrator(ContentViewState& state, std::optional<QRect> windowFrame) {
    // The host window is a widget, read through its property so this layer needs no widgets.
    if (!windowFrame && state.hostWindow()) {
        const QVariant frame = state.hostWindow()->property("frameGeometry");
        if (frame.canConvert<QRect>()) windowFrame = frame.toRect();
    }
    elevatedRelaunchOf(state).restartAsAdministrator(windowFrame);
}

void performRestartWithoutAdministrator(ContentViewState& state) { elevatedRelaunchOf(state).restartWithoutAdministrator(); }

void performFullResetAndRestart(ContentViewState& state) { elevatedRelaunchOf(state).resetConfigurationAndRestart(); }

void performPermissionsResetAndRestart(ContentViewState& state) { elevatedRelaunchOf(state).resetPermissionsAndRestart(); }

bool isRunningElevated() { return ::geteuid() == 0; }

}  // namespace zelvane
