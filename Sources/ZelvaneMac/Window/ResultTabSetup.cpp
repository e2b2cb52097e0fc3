#include "ZelvaneMac/Window/ResultTabSetup.hpp"

#include "ZelvaneMac/Core/Text/Localization.hpp"

namespace zelvane {

std::optional<std::pair<OutlineSortKey, bool>> commandLineOutlineSort(const CLIAutomation::Options& options) {
    if (!options.sortByWasSet) return std::nullopt;
    // The column of the order the export mode gives the tree for the same code.
    switch (CLIAutomation::treeSortKey(options.sortBy)) {
    case TreeSortKey::size: return std::pair{OutlineSortKey::size, false};
    case TreeSortKey::allocatedSize: return std::pair{OutlineSortKey::allocated, false};
    case TreeSortKey::modifiedDate: return std::pair{OutlineSortKey::modified, false};
    case TreeSortKey::name: break;
    }
    return std::pair{OutlineSortKey::name, true};
}

std::optional<std::pair<FileListSortKey, bool>> commandLineFileListSort(const CLIAutomation::Options& options) {
    // The file list's columns of the keys a code names bear the outline's identifiers.
    const auto sort = commandLineOutlineSort(options);
    if (!sort) return std::nullopt;
    return std::pair{fileListSortKeyFromIdentifier(outlineSortIdentifier(sort->first)), sort->second};
}

std::optional<std::pair<FileTypesSortKey, bool>> commandLineFileTypesSort(const CLIAutomation::Options& options) {
    if (!options.sortByFileTypesWasSet) return std::nullopt;
    // Sizes largest first, as the export mode writes them; the extension from A.
    const FileTypesSortKey key = CLIAutomation::fileTypesSortKey(options.sortByFileTypes);
    return std::pair{key, key == FileTypesSortKey::extension};
}

QString firstStepsDescription() {
    return localized("Choose a volume or folder above, then click Scan.") + QStringLiteral("\n\n") +
           localized("Select the 'Tree View' tab to view the scan results as a tree and treemap, or the "
                     "'File View' tab to view the scan results as a searchable list.");
}

}  // namespace zelvane
