#include "ZelvaneMac/Core/FileTypes/FileTypesSortKey.hpp"

#include "ZelvaneMac/Core/Support/SortKeyTable.hpp"

namespace zelvane {

namespace {

constexpr SortKeyTable<FileTypesSortKey, 6> kKeys{{{
                                                      {FileTypesSortKey::extension, "ext"},
                                                      {FileTypesSortKey::type, "type"},
                                                      {FileTypesSortKey::percent, "percent"},
                                                      {FileTypesSortKey::size, "size"},
                                                      {FileTypesSortKey::allocated, "allocated"},
                                                      {FileTypesSortKey::files, "files"},
                                                  }},
                                                  FileTypesSortKey::allocated};

}  // namespace

std::string_view fileTypesSortIdentifier(FileTypesSortKey key) { return kKeys.identifierOf(key); }

FileTypesSortKey fileTypesSortKeyFromIdentifier(std::string_view identifier) { return kKeys.keyFor(identifier); }

}  // namespace zelvane
