#pragma once

#include <QObject>
#include <QString>
#include <QStringList>

#include <functional>
#include <optional>
#include <sys/types.h>

namespace zelvane {

// A program to start: an absolute path, its arguments (without the program itself) and its whole
// environment as "NAME=value" entries. Never a command line for a shell.
struct ProcessRequest {
    QString program;
    QStringList arguments;
    QStringList environment;
};

// How a watched program ended: its raw wait status.
struct ProcessEnd {
    int waitStatus = 0;
    bool succeeded() const;  // exited normally with status 0
};

// Starts `request` with standard input, output and error inherited, and calls `onEnd` on the main
// thread when the program ends, as long as `context` lives. Nothing here ever kills or blocks on
// the program: when `context` goes first (the window closes, the application quits), the program
// keeps running, which is what a restart needs. Returns the reason when it could not be started,
// led by the program's path ("/usr/bin/sudo: No such file or directory").
std::optional<QString> startWatchedProcess(const ProcessRequest& request, QObject* context,
                                           std::function<void(ProcessEnd)> onEnd);

}  // namespace zelvane
