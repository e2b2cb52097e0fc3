#include "ZelvaneMac/Core/CommandLine/ExportModeProcess.hpp"

#include <unistd.h>

#include <csignal>
#include <cstdlib>
#include <exception>
#include <new>

namespace zelvane {

namespace {

// Running out of memory where nothing catches it (a thread of the platform's, say) still ends the
// run as a failure with its one line, never as an abort. Nothing is allocated on the way out.
[[noreturn]] void endOnUncaughtException() {
    if (const std::exception_ptr failure = std::current_exception()) {
        try {
            std::rethrow_exception(failure);
        } catch (const std::bad_alloc&) {
            static constexpr char kLine[] = "ZelvaneMac: ran out of memory; the exports not finished by then were not written\n";
            (void)!::write(2, kLine, sizeof kLine - 1);
            ::_exit(2);
        } catch (...) {
        }
    }
    std::abort();
}

}  // namespace

void prepareExportModeProcess() {
    std::set_terminate(endOnUncaughtException);
    ::setenv("QT_QPA_PLATFORM", "offscreen", 1);
    ::setenv("QT_NO_GLIB", "1", 1);
    ::unsetenv("QT_QPA_PLATFORMTHEME");
    std::signal(SIGPIPE, SIG_IGN);
}

}  // namespace zelvane
