#pragma once

#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include <QDateTime>
#include <QMetaObject>

#include "ZelvaneMac/Core/CommandLine/CLIAutomation.hpp"
#include "ZelvaneMac/Core/CommandLine/CommandLine.hpp"
#include "ScanEngine/Tree/FileNode.hpp"

namespace zelvane {

class Preferences;
class ScanViewModel;
struct ScanState;

// The unattended scan-and-export mode: scans the folders named on the command line through its
// own ScanViewModel, writes the requested outputs and hands back an exit code. Lives on the main
// thread with a running event loop; touches no window.
//
// Exit codes: 0 every requested output was written; 1 a precondition failed (no file-system
// access, no folder to scan); 2 the scan failed (a root could not be read) or an output was asked
// for and not written. Each failure is one line "ZelvaneMac: ..." on standard error; a failed
// output never stops the next. Skipped arguments, option values not understood and subfolders
// that could not be read are named there too, one line each, without changing the exit code.
class CLIAutomationRunner final {
public:
    static constexpr int kExitSuccess = 0;
    static constexpr int kExitPreconditionFailed = 1;
    static constexpr int kExitOutputFailed = 2;

    // `exit` is called exactly once with the code, from runIfNeeded or later from the event loop.
    // The preferences (the program's one store) are read, never written, and must outlive the runner.
    CLIAutomationRunner(const Preferences& preferences, CommandLine commandLine, std::function<void(int)> exit);
    ~CLIAutomationRunner();
    CLIAutomationRunner(const CLIAutomationRunner&) = delete;
    CLIAutomationRunner& operator=(const CLIAutomationRunner&) = delete;

    // False, with nothing done, when no output option was given. Otherwise true: the run has
    // either ended already (a precondition failed) or the scan is under way.
    bool runIfNeeded();

    // The outputs of one finished scan, in their fixed order; returns one message (without the
    // program prefix) per requested output that was not written. Sorts the trees it is given.
    static std::vector<std::string> performExports(const std::vector<RootRef>& scannedRoots,
                                                   const CLIAutomation::Options& options, const Preferences& prefs,
                                                   const QDateTime& startTime);

    // The template with every "%d" replaced by the date ("yyyyMMdd") and then every "%t" by the
    // time ("HHmmss") of `moment` in local time.
    static std::string expandPathTemplate(const std::string& pathTemplate, const QDateTime& moment);
    // The image path: any extension other than "png" (in any case) replaced by ".png".
    static std::string pngPath(const std::string& path);
    // Control characters as escapes ("\n", "\t", "\r", "\x1b"), so that every message keeps to
    // one line whatever the names in it hold; other bytes are kept as they are.
    static std::string escapedForMessage(std::string_view text);

private:
    void finish(int code);
    // Once the scan has ended: its failures named, or the outputs written.
    void finishRun(const ScanViewModel& model, const ScanState& state, const CLIAutomation::Options& options,
                   const QDateTime& startTime);

    const Preferences& preferences_;
    CommandLine commandLine_;
    std::function<void(int)> exit_;
    std::unique_ptr<ScanViewModel> viewModel_;
    QMetaObject::Connection scanStateConnection_;
    bool finished_ = false;
};

}  // namespace zelvane
