#pragma once

#include <cstddef>
#include <cstring>
#include <memory>
#include <span>
#include <vector>

#include "ScanEngine/Tree/FileNode.hpp"

namespace zelvane {

// A worker's growing list of nodes in fixed chunks: appending never copies what is already
// there (a vector would double and copy), and joining hands each chunk back as soon as it has
// been copied, so the peak stays near one copy of the list.
class ChunkedNodeList final {
public:
    static constexpr size_t kChunk = 32768;

    void push_back(FileNode* n) {
        size_t chunk = size_ / kChunk;
        if (chunk == chunks_.size()) chunks_.emplace_back(new FileNode*[kChunk]);
        chunks_[chunk][size_ % kChunk] = n;
        ++size_;
    }
    size_t size() const { return size_; }
    // Drops entries from the end (a folder whose read was rolled back); chunks stay for reuse.
    void truncate(size_t n) {
        if (n < size_) size_ = n;
    }
    // Copies everything to `out` (room for size() entries), freeing chunks as it goes.
    FileNode** moveTo(FileNode** out) {
        size_t left = size_;
        for (auto& c : chunks_) {
            if (left == 0) break;
            size_t k = left < kChunk ? left : kChunk;
            std::memcpy(out, c.get(), k * sizeof(FileNode*));
            out += k;
            left -= k;
            c.reset();
        }
        chunks_.clear();
        size_ = 0;
        return out;
    }

private:
    std::vector<std::unique_ptr<FileNode*[]>> chunks_;
    size_t size_ = 0;
};

}  // namespace zelvane
