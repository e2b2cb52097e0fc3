#include "ZelvaneMac/Window/ResultTabSetup.hpp"

#include "ZelvaneMac/Core/Text/Localization.hpp"

namespace zelvane {

std::optional<InitialSort> commandLineRowSort(const CLIAutomation::Options& options) {
    if (!options.sortByWasSet) return std::nullopt;
    // The column of the order the export mode gives the tree for the same code.
    switch (CLIAutomation::treeSortKey(options.sortBy)) {
    case TreeSortKey::size: return InitialSort{QStringLiteral("size"), false};
    case TreeSortKey::allocatedSize: return InitialSort{QStringLiteral("allocated"), false};
    case TreeSortKey::modifiedDate: return InitialSort{QStringLiteral("modified"), false};
    case TreeSortKey::name: break;
    }
    return InitialSort{QStringLiteral("name"), true};
}

std::optional<InitialSort> commandLineFileTypesSort(const CLIAutomation::Options& options) {
    if (!options.sortByFileTypesWasSet) return std::nullopt;
    switch (CLIAutomation::fileTypesSortKey(options.sortByFileTypes)) {
    case CLIAutomation::FileTypesSortKey::size: return InitialSort{QStringLiteral("size"), false};
    case CLIAutomation::FileTypesSortKey::allocatedSize: return InitialSort{QStringLiteral("allocated"), false};
    case CLIAutomation::FileTypesSortKey::extension: break;
    }
    return InitialSort{QStringLiteral("ext"), true};
}

QString firstStepsDescription() {
    return localized("Choose a volume or folder above, then click Scan.") + QStringLiteral("\n\n") +
           localized("Select the 'Tree View' tab to view the scan results as a tree and treemap, or the "
                     "'File View' tab to view the scan results as a searchable list.");
}

}  // namespace zelvane
