#include "ZelvaneMac/Core/CommandLine/ExportModeProcess.hpp"

#include <csignal>
#include <cstdlib>

namespace zelvane {

void prepareExportModeProcess() {
    ::setenv("QT_QPA_PLATFORM", "offscreen", 1);
    ::setenv("QT_NO_GLIB", "1", 1);
    ::unsetenv("QT_QPA_PLATFORMTHEME");
    std::signal(SIGPIPE, SIG_IGN);
}

}  // namespace zelvane
