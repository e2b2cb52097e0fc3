#pragma once

#include <sys/types.h>

#include <ctime>
#include <string>

namespace zelvane {

// The user's trash as desktops share it: a "files" folder holding the trashed items and an "info"
// folder with one ".trashinfo" record per item (its original path and the deletion date). Items on
// the volume of the home trash go there; items on other volumes go to that volume's
// "$topdir/.Trash/$uid" when the administrator made a valid ".Trash" (a real folder with the
// sticky bit), else to "$topdir/.Trash-$uid". A trash is only used on the device of the item, so a
// move into it is a rename and never a copy.

struct TrashEnvironment {
    std::string homeTrash;  // $XDG_DATA_HOME/Trash, or ~/.local/share/Trash
    uid_t uid = 0;
    // From the process environment; an empty homeTrash when neither variable gives an absolute path.
    static TrashEnvironment current();
};

struct TrashLocation {
    std::string trashDir;     // holds files/ and info/
    std::string topDir;       // the volume's top folder; empty for the home trash
    dev_t device = 0;
};

struct TrashLookup {
    int error = 0;            // 0 when `location` is usable
    TrashLocation location;
};

// The device an item lives on (not following a final symbolic link): the key under which a
// volume's trash is looked up once per action. Returns an errno when the item cannot be read.
int itemDevice(const std::string& itemPath, dev_t& device);

// Finds (and creates, 0700, when missing) the trash for an item on `device`; `itemPath` is used to
// find the volume's top folder when the home trash is on another device.
TrashLookup locateTrash(const std::string& itemPath, dev_t device, const TrashEnvironment& env);

// Moves one item into the trash: the record is created exclusively first, the item is then
// renamed into files/ without replacing anything (another name is taken when one is in use), and
// the record is removed again when the move fails. Returns 0 or an errno; `trashedName` gets the
// name the item has in files/.
int moveToTrash(const std::string& itemPath, const TrashLocation& trash, std::time_t deletionTime,
                std::string* trashedName = nullptr);

// Percent-encodes path bytes for a ".trashinfo" record ("/" and unreserved characters kept).
std::string percentEncodePath(const std::string& bytes);

}  // namespace zelvane
