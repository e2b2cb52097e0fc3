#include "ZelvaneMac/Window/TreeRetirement.hpp"

namespace zelvane {

void TreeRetirement::announce(const KeptTrees& kept) { emit treesRetiring(kept); }

}  // namespace zelvane
