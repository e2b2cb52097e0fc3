#pragma once

#include <QString>

#include <atomic>
#include <functional>
#include <string>
#include <vector>

#include "ZelvaneMac/Actions/ItemCopy.hpp"
#include "ZelvaneMac/Actions/ItemRemoval.hpp"

namespace zelvane {

// The file operations behind the action menu, on exact path bytes of any length (each acts
// relative to the open folder that holds its item). Each returns 0 or an errno and never replaces
// an existing item.

// Why a new name cannot be used before the system is even asked: empty (after trimming), "." or
// "..", or holding "/" or NUL (English, for the look-up). Null when the name is acceptable.
const char* invalidNameReason(const QString& trimmedName);
// The name with white space and line ends removed from both ends.
QString trimmedNewName(const QString& name);

// The name a user typed over the shown `name` (in which bytes that are not UTF-8 appear as
// U+FFFD), as units for the disk: what was left as it was keeps the original units, escaped bytes
// included; what was typed is taken as typed.
std::u16string editedName(std::u16string_view name, const QString& edited);

// Renames the item to `newName` (bytes, one component) in its own folder; EEXIST when that name
// is taken, so nothing is ever overwritten.
int renameItem(const std::string& path, const std::string& newName);

// Makes a symbolic link beside the item, pointing at it by its name, under the first free name of
// `nameFor(1)`, `nameFor(2)`, ...; `madeName` gets the name used.
int makeLinkBeside(const std::string& path, const std::function<std::string(int)>& nameFor, std::string* madeName = nullptr);

// The item's tags (the "user.xdg.tags" attribute, comma-separated). An empty list removes them
// all. A symbolic link is tagged itself, never the item it points at.
int setTags(const std::string& path, const std::vector<std::string>& tags);
std::vector<std::string> readTags(const std::string& path);

}  // namespace zelvane
