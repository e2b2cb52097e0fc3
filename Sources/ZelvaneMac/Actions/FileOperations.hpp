#pragma once

#include <QString>

#include <string>
#include <vector>

namespace zelvane {

// The file operations behind the action menu, on exact path bytes. Each returns 0 or an errno and
// never replaces an existing item.

// Why a new name cannot be used before the system is even asked: empty (after trimming), "." or
// "..", or holding "/" or NUL (English, for the look-up). Null when the name is acceptable.
const char* invalidNameReason(const QString& trimmedName);
// The name with white space and line ends removed from both ends.
QString trimmedNewName(const QString& name);

// Renames the item to `newName` (bytes, one component) in its own folder; EEXIST when that name
// is taken, so nothing is ever overwritten.
int renameItem(const std::string& path, const std::string& newName);

// Removes the item, a folder with everything in it; a symbolic link is removed, not followed. A
// folder with another file system mounted somewhere below it is refused (EXDEV) and left whole.
int removeItem(const std::string& path);

// Copies the item (a folder with its contents, links as links) to `destination`, which must not
// exist. A copy that fails part-way is removed again.
int duplicateItem(const std::string& path, const std::string& destination);

// Makes a symbolic link at `linkPath` pointing at `target`.
int makeSymbolicLink(const std::string& target, const std::string& linkPath);

// The item's tags (the "user.xdg.tags" attribute, comma-separated). An empty list removes them
// all. A symbolic link is tagged itself, never the item it points at.
int setTags(const std::string& path, const std::vector<std::string>& tags);
std::vector<std::string> readTags(const std::string& path);

// Writes a zip archive of the item (a folder with its folder as the top entry) into `folder`
// under `archiveName`. The archive is written to a hidden temporary file in that folder and
// renamed into place without replacing anything only once complete; when the name has been taken
// meanwhile, the next free "stem N.zip" is used. On any failure nothing is left behind. Only
// files, folders and symbolic links (stored as links) are archived; a pipe or device inside a
// folder is left out rather than read.
struct CompressResult {
    int error = 0;
    std::string archivePath;  // where the archive went
};
CompressResult compressToZip(const std::string& itemPath, const std::string& folder, const std::string& stem,
                             const std::string& archiveName);

}  // namespace zelvane
