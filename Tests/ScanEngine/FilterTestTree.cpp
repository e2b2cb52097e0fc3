#include "FilterTestTree.hpp"

#include <cstdint>

namespace zelvane::testing {

void writeFile(const std::string& path, size_t size, long mtimeUnix) {
    testsupport::writeFile(path, int64_t(size));
    testsupport::setModified(path, mtimeUnix);
}

}  // namespace zelvane::testing
