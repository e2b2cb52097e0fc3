#pragma once

#include <QString>

#include <optional>
#include <utility>

#include "ZelvaneMac/Core/CommandLine/CLIAutomation.hpp"
#include "ZelvaneMac/Models/FileListPipeline.hpp"
#include "ZelvaneMac/Models/OutlineSorting.hpp"

namespace zelvane {

// The sort the command line asks of the folder tree (its key and whether it ascends); none when it
// asks for none.
std::optional<std::pair<OutlineSortKey, bool>> commandLineOutlineSort(const CLIAutomation::Options& options);
// The same order for the file list.
std::optional<std::pair<FileListSortKey, bool>> commandLineFileListSort(const CLIAutomation::Options& options);

// The sort the command line asks of the file-types table (its key and whether it ascends); none
// when it asks for none.
std::optional<std::pair<FileTypesSortKey, bool>> commandLineFileTypesSort(const CLIAutomation::Options& options);

// The two sentences that tell a new user what to do first, as one text to wrap; shown by both
// result tabs while they have nothing to show.
QString firstStepsDescription();

}  // namespace zelvane
