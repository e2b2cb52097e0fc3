#pragma once

#include "Ostrane/AskpassStrings.hpp"

namespace ostrane {

// The main program's string table at `path` ("<lang>.lproj/Localizable.strings"), read as the main
// program reads it (a broken entry loses that entry only); none when the file cannot be read or
// holds nothing but broken entries.
std::optional<StringTable> readStringTable(const QString& path);

}  // namespace ostrane
