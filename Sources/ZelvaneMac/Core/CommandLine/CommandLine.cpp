#include "ZelvaneMac/Core/CommandLine/CommandLine.hpp"

#include <sys/stat.h>

#include <cerrno>
#include <filesystem>
#include <string_view>
#include <system_error>

namespace zelvane {
namespace {

std::string errnoText(int err) { return std::error_code(err, std::generic_category()).message(); }

bool endsWithTableExtension(std::string_view argument) {
    if (argument.size() < 4) return false;
    std::string ext(argument.substr(argument.size() - 4));
    for (char& c : ext)
        if (c >= 'A' && c <= 'Z') c = char(c - 'A' + 'a');
    return ext == ".csv" || ext == ".tsv";
}

}  // namespace

std::string absoluteFolderArgument(const std::string& argument, const std::string& workingFolder) {
    std::string joined = argument.front() == '/' ? argument : workingFolder + "/" + argument;
    // Only "." components and repeated or trailing slashes go: ".." stays, since the folder
    // before it may be a symbolic link.
    std::string out;
    size_t pos = 0;
    while (pos < joined.size()) {
        size_t end = joined.find('/', pos);
        if (end == std::string::npos) end = joined.size();
        const std::string_view part(joined.data() + pos, end - pos);
        if (!part.empty() && part != ".") out.append("/").append(part);
        pos = end + 1;
    }
    return out.empty() ? "/" : out;
}

CommandLineTargets commandLineTargets(std::span<const std::string> argumentsAfterProgram, const std::string& workingFolder,
                                      const std::string& workingFolderError) {
    CommandLineTargets targets;
    for (const std::string& arg : argumentsAfterProgram) {
        if (arg.empty() || arg.front() == '-') continue;
        const bool relative = arg.front() != '/';
        if (relative && workingFolder.empty()) {
            targets.skipped.push_back({arg, "the working folder is unknown: " + workingFolderError});
            continue;
        }
        // Looked up where the working folder says, which is the process's own outside tests.
        const std::string located = relative ? workingFolder + "/" + arg : arg;
        struct stat st {};
        if (::stat(located.c_str(), &st) != 0) {
            targets.skipped.push_back({arg, errnoText(errno)});
            continue;
        }
        if (!S_ISDIR(st.st_mode)) {
            if (!targets.csvFile && endsWithTableExtension(arg)) targets.csvFile = arg;
            targets.skipped.push_back({arg, errnoText(ENOTDIR)});
            continue;
        }
        targets.folders.push_back(absoluteFolderArgument(arg, workingFolder));
    }
    return targets;
}

CommandLine CommandLine::read(std::vector<std::string> arguments) {
    CommandLine line;
    line.options = CLIAutomation::parse(arguments);
    std::error_code cwdError;
    const std::string workingFolder = std::filesystem::current_path(cwdError).string();
    if (!arguments.empty())
        line.targets = commandLineTargets(std::span(arguments).subspan(1), cwdError ? std::string() : workingFolder,
                                          cwdError.message());
    line.arguments = std::move(arguments);
    return line;
}

}  // namespace zelvane
