#include "ZelvaneMac/Window/ResultTabSetup.hpp"

#include "ZelvaneMac/Core/Text/Localization.hpp"

namespace zelvane {

std::optional<InitialSort> commandLineRowSort(const CLIAutomation::Options& options) {
    if (!options.sortByWasSet) return std::nullopt;
    switch (options.sortBy) {
    case 1: return InitialSort{QStringLiteral("size"), false};
    case 2: return InitialSort{QStringLiteral("allocated"), false};
    case 3: return InitialSort{QStringLiteral("modified"), false};
    default: return InitialSort{QStringLiteral("name"), true};
    }
}

std::optional<InitialSort> commandLineFileTypesSort(const CLIAutomation::Options& options) {
    if (!options.sortByFileTypesWasSet) return std::nullopt;
    switch (options.sortByFileTypes) {
    case 1: return InitialSort{QStringLiteral("size"), false};
    case 2: return InitialSort{QStringLiteral("allocated"), false};
    default: return InitialSort{QStringLiteral("ext"), true};
    }
}

QString firstStepsDescription() {
    return localized("Choose a volume or folder above, then click Scan.") + QStringLiteral("\n\n") +
           localized("Select the 'Tree View' tab to view the scan results as a tree and treemap, or the "
                     "'File View' tab to view the scan results as a searchable list.");
}

}  // namespace zelvane
