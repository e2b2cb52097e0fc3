#pragma once

#include <optional>
#include <span>
#include <string>
#include <vector>

#include "ZelvaneMac/Core/CommandLine/CLIAutomation.hpp"

namespace zelvane {

// A folder argument that was not taken, and why (an errno text, or that the working folder
// needed to make it absolute is unknown).
struct SkippedArgument {
    std::string argument;
    std::string reason;
    bool operator==(const SkippedArgument&) const = default;
};

// What the arguments after the program's path name, by the one rule of both modes: an argument
// that is empty or begins with "-" is an option; any other is a folder when it names an existing
// directory (symbolic links followed), taken in argument order, twice when named twice. A folder
// is made absolute against the working folder without resolving symbolic links ("." components
// and extra slashes dropped, ".." kept), so every later use names the same place whatever the
// working folder is by then. Paths are bytes as given: a name that is not UTF-8 is kept exactly.
struct CommandLineTargets {
    std::vector<std::string> folders;
    std::vector<SkippedArgument> skipped;
    // The window imports this instead of scanning: the first argument that is not an option,
    // ends in ".csv" or ".tsv" (any case) and names an existing file that is not a directory.
    // As given, not made absolute.
    std::optional<std::string> csvFile;
    bool operator==(const CommandLineTargets&) const = default;
};

// An empty `workingFolder` could not be found (`workingFolderError` says why): relative folder
// arguments are then skipped.
CommandLineTargets commandLineTargets(std::span<const std::string> argumentsAfterProgram, const std::string& workingFolder,
                                      const std::string& workingFolderError = {});

// A non-empty argument made absolute against `workingFolder` as described above.
std::string absoluteFolderArgument(const std::string& argument, const std::string& workingFolder);

// The process's command line, read once at start and handed to whoever needs it.
struct CommandLine {
    std::vector<std::string> arguments;  // program path first
    CLIAutomation::Options options;
    CommandLineTargets targets;

    // Relative arguments are made absolute against the current working folder.
    static CommandLine read(std::vector<std::string> arguments);
};

}  // namespace zelvane
