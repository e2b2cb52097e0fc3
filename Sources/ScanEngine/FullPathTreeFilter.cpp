#include "FullPathTreeFilter.hpp"

namespace zelvane {

std::vector<FileNode*> filterTreeFullPath(FileNode&, const DecodedFilter&, bool, bool) { return {}; }
bool evaluateNonMonotonicItem(const FilterItem&, const FileNode&, bool, std::optional<std::u16string>&) { return false; }

}  // namespace zelvane
