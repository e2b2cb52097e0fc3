#pragma once

#include <QRect>

#include <optional>

#include "ZelvaneMac/Window/ElevatedRelaunch.hpp"

namespace zelvane {

class Preferences;
class WindowPrompts;

// The restart and reset commands of one window, as the scan button's administrator menu, the File
// menu and the reset confirmations call them. Outcomes land in the window's fields: failures in
// `adminRelaunchErrorDetail` ("Couldn't Restart") or `permissionsResetErrorDetail` ("Couldn't
// Reset Permissions").

// `windowFrame`: the window's frame on the screen, so the password prompt appears on that window's
// display (none: the prompt places itself).
void performRestartAsAdministrator(WindowPrompts& prompts, Preferences& preferences,
                                   std::optional<QRect> windowFrame = std::nullopt);
void performRestartWithoutAdministrator(WindowPrompts& prompts, Preferences& preferences);
void performFullResetAndRestart(WindowPrompts& prompts, Preferences& preferences);
void performPermissionsResetAndRestart(WindowPrompts& prompts, Preferences& preferences);

// "Elevated": the effective user id is 0. The menus and the top bar decide by this alone.
bool isRunningElevated();

// The window's relaunch, made on first use from the running process. Tests install their own
// (stand-in programs, their own quit) before the first command.
ElevatedRelaunch& elevatedRelaunchOf(WindowPrompts& prompts, Preferences& preferences);
ElevatedRelaunch& installElevatedRelaunch(WindowPrompts& prompts, Preferences& preferences,
                                          RelaunchEnvironment environment);

}  // namespace zelvane
