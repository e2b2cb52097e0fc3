#pragma once

#include <sys/types.h>

#include <ctime>
#include <string>

#include "Platform/ItemAccess.hpp"

namespace zelvane {

// The user's trash as desktops share it: a "files" folder holding the trashed items and an "info"
// folder with one ".trashinfo" record per item (its original path and the deletion date). Items on
// the file system of the home trash go there; items elsewhere go to the top folder of their own
// mount: "$topdir/.Trash/$uid" when the administrator made a valid ".Trash" (a real folder with
// the sticky bit), else "$topdir/.Trash-$uid". A trash is only ever used, or made, on the mount of
// the item, so a move into it is a rename and never a copy, and nothing is created on a file
// system the item does not live on.

struct TrashEnvironment {
    std::string homeTrash;  // $XDG_DATA_HOME/Trash, or ~/.local/share/Trash
    uid_t uid = 0;
    // From the process environment; an empty homeTrash when neither variable gives an absolute path.
    static TrashEnvironment current();
};

struct TrashLocation {
    std::string trashDir;     // holds files/ and info/
    std::string topDir;       // the top folder of the item's mount; empty for the home trash
};

struct TrashLookup {
    int error = 0;            // 0 when `location` is usable
    std::string failedPath;   // the folder that could not be made or used, when there is one
    TrashLocation location;
};

// The key under which a trash is looked up once per action: items with one key share a trash.
std::string trashKey(const ItemFacts& item);

// Finds (and makes, 0700, when missing) the trash for the item at `itemPath` described by `item`.
// An item that is itself the top of a mount has no trash of its own (EBUSY).
TrashLookup locateTrash(const std::string& itemPath, const ItemFacts& item, const TrashEnvironment& env);

// Why a move into the trash failed, and on which side.
struct TrashMoveResult {
    int error = 0;
    bool atTrash = false;     // writing the record failed: the item itself was never touched
    std::string trashedName;  // the item's name in files/ on success
};

// Moves one item into the trash: the record is created exclusively first, the item is then
// renamed into files/ without replacing anything (another name is taken when one is in use), and
// the record is removed again when the move fails. `itemPath` is what the record names.
TrashMoveResult moveToTrash(const ItemInFolder& item, const std::string& itemPath, const TrashLocation& trash,
                            std::time_t deletionTime);

// Percent-encodes path bytes for a ".trashinfo" record ("/" and unreserved characters kept).
std::string percentEncodePath(const std::string& bytes);

}  // namespace zelvane
