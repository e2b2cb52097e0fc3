#pragma once

#include <QRect>

#include <optional>

#include "ZelvaneMac/Window/ElevatedRelaunch.hpp"

namespace zelvane {

class ContentViewState;

// The restart and reset commands of one window, as the scan button's administrator menu, the File
// menu and the reset confirmations call them. Outcomes land in the window's fields: failures in
// `adminRelaunchErrorDetail` ("Couldn't Restart") or `permissionsResetErrorDetail` ("Couldn't
// Reset Permissions").

// `windowFrame`: the window's frame on the screen, so the password prompt appears on that window's
// display; by default the frame of the state's host window.
void performRestartAsAdministrator(ContentViewState& state, std::optional<QRect> windowFrame = std::nullopt);
void performRestartWithoutAdministrator(ContentViewState& state);
void performFullResetAndRestart(ContentViewState& state);
void performPermissionsResetAndRestart(ContentViewState& state);

// "Elevated": the effective user id is 0. The menus and the top bar decide by this alone.
bool isRunningElevated();

// The window's relaunch, made on first use from the running process. Tests install their own
// (stand-in programs, their own quit) before the first command.
ElevatedRelaunch& elevatedRelaunchOf(ContentViewState& state);
ElevatedRelaunch& installElevatedRelaunch(ContentViewState& state, RelaunchEnvironment environment);

}  // namespace zelvane
