#include "Ostrane/StringTableFile.hpp"

#include "ZelvaneMac/Core/Text/StringsFile.hpp"

namespace ostrane {

std::optional<StringTable> readStringTable(const QString& path) {
    const zelvane::StringsFileContents contents = zelvane::readStringsFile(path);
    // Line 0 is the file itself: missing, a folder, unreadable.
    for (const zelvane::StringsFileProblem& problem : contents.problems)
        if (problem.line == 0) return std::nullopt;
    // Nothing but broken entries: not a table (an empty file is one, and a table that lacks a key
    // still decides, with English for what it lacks).
    if (contents.entries.isEmpty() && !contents.problems.isEmpty()) return std::nullopt;
    return contents.entries;
}

}  // namespace ostrane
