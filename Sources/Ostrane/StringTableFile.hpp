#pragma once

#include "Ostrane/AskpassStrings.hpp"

namespace ostrane {

// The main program's string table at `path` ("<lang>.lproj/Localizable.strings"), when it reads as
// a dictionary of strings to strings; none otherwise.
std::optional<StringTable> readStringTable(const QString& path);

}  // namespace ostrane
