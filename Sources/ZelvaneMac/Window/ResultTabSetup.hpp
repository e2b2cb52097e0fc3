#pragma once

#include <QString>

#include <optional>
#include <utility>

#include "ZelvaneMac/Core/CommandLine/CLIAutomation.hpp"

namespace zelvane {

// A table's first sort: the column identifier and whether it ascends.
using InitialSort = std::pair<QString, bool>;

// The sort the command line asks of the folder tree and of the file list (the same option for
// both); none when it asks for none.
std::optional<InitialSort> commandLineRowSort(const CLIAutomation::Options& options);

// The sort the command line asks of the file-types table; none when it asks for none.
std::optional<InitialSort> commandLineFileTypesSort(const CLIAutomation::Options& options);

// The two sentences that tell a new user what to do first, as one text to wrap; shown by both
// result tabs while they have nothing to show.
QString firstStepsDescription();

}  // namespace zelvane
