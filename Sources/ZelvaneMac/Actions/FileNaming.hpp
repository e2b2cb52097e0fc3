#pragma once

#include <functional>
#include <set>
#include <string>

namespace zelvane {

// Names of the items that Compress, Duplicate and Make Link put beside their originals. Names are
// bytes; an extension is the text after the last "." that is neither the first nor the last byte,
// so ".bashrc" and "notes." have none.
struct NameParts {
    std::string stem;
    std::string extension;  // without the dot; empty when there is none
};
NameParts splitExtension(const std::string& name);

// "photo.zip", then "photo 2.zip", "photo 3.zip", ...
std::string archiveName(const std::string& stem, int n);
// "report copy.pdf", then "report copy 2.pdf", ...; `suffix` is " copy" or " alias".
std::string siblingName(const NameParts& parts, const std::string& suffix, int n);

// The first name from `nameFor(1)`, `nameFor(2)`, ... that nothing in the open folder `folderFd`
// has (a dangling link counts as taken) and that is not in `reserved`. Empty when the folder
// cannot be read.
std::string firstFreeName(int folderFd, const std::function<std::string(int)>& nameFor,
                          const std::set<std::string>& reserved = {});

}  // namespace zelvane
