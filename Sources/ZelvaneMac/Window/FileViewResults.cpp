#include "ZelvaneMac/Window/FileViewResults.hpp"

#include "ZelvaneMac/Window/AssignIfChanged.hpp"

namespace zelvane {

void FileViewResults::setFileFilterText(const QString& value) {
    if (assignIfChanged(fileFilterText_, value)) emit fileFilterTextChanged(fileFilterText_);
}

void FileViewResults::setFileResultCount(int value) {
    if (assignIfChanged(fileResultCount_, value)) emit fileResultCountChanged(fileResultCount_);
}

void FileViewResults::setFileResultTotalSize(int64_t value) {
    if (assignIfChanged(fileResultTotalSize_, value)) emit fileResultTotalSizeChanged(fileResultTotalSize_);
}

void FileViewResults::setFileResultTotalAlloc(int64_t value) {
    if (assignIfChanged(fileResultTotalAlloc_, value)) emit fileResultTotalAllocChanged(fileResultTotalAlloc_);
}

void FileViewResults::setFileIsLocatingDuplicates(bool value) {
    if (assignIfChanged(fileIsLocatingDuplicates_, value)) emit fileIsLocatingDuplicatesChanged(fileIsLocatingDuplicates_);
}

}  // namespace zelvane
