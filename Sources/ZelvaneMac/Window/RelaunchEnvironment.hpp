#pragma once

#include <QRect>
#include <QString>
#include <QStringList>

#include <chrono>
#include <functional>
#include <optional>

#include "Platform/UserAccounts.hpp"
#include "ZelvaneMac/Window/ChildProcess.hpp"

namespace zelvane {

// What a restart needs from the process around it. `forThisProcess` fills it from the running
// program; tests put stand-in programs and their own quit in its place.
struct RelaunchEnvironment {
    QString sudoProgram = QStringLiteral("/usr/bin/sudo");
    QString executablePath;    // the running program
    QString askpassPath;       // the bundle's password prompt, Resources/Ostrane beside the program
    QStringList environment;   // "NAME=value" entries of this process
    bool elevated = false;     // the effective user id is 0
    std::optional<UserAccount> realUser;  // the user an elevated run was started by
    std::chrono::milliseconds quitDelay{8000};
    // The application's ordinary termination (windows close, settings are written back).
    std::function<void()> quit;
    // Runs `work` once the application has stopped running its windows, after their last writes.
    std::function<void(std::function<void()> work)> atQuit;

    static RelaunchEnvironment forThisProcess();
};

// The variable in which the prompt finds the window it should appear over: "x,y,width,height".
inline constexpr char kWindowFrameVariable[] = "ZELVANEMAC_WINDOW_FRAME";

// The programs a restart starts, made from the environment alone: argument lists, never a command
// line for a shell.

// The sudo arguments that pass the display variables on, which sudo would otherwise drop for the
// command it runs: "NAME=value" for DISPLAY, XAUTHORITY and WAYLAND_DISPLAY.
QStringList displayAssignments(const QStringList& environment);
// The environment of both sudo runs of a restart as administrator: the password prompt as
// SUDO_ASKPASS and, when valid, the asking window's frame for the prompt to appear over.
QStringList askpassEnvironment(const RelaunchEnvironment& env, std::optional<QRect> windowFrame);
// `sudo -A -v`: asks for the password and starts nothing.
ProcessRequest validationRequest(const RelaunchEnvironment& env, const QStringList& askpassEnvironment);
// `sudo -A` with the display variables, then this program.
ProcessRequest elevatedStartRequest(const RelaunchEnvironment& env, const QStringList& askpassEnvironment);
// `sudo -u` the user who started this elevated run; none when SUDO_USER does not say who that is.
std::optional<ProcessRequest> realUserStartRequest(const RelaunchEnvironment& env);
// This program again, as it was started.
ProcessRequest programStartRequest(const RelaunchEnvironment& env);

}  // namespace zelvane
