#include "TestTrees.hpp"

#include <algorithm>
#include <fstream>
#include <stdexcept>
#include <string>

namespace zelvane::fixtures {

void writeFile(const std::filesystem::path& path, int64_t size) {
    std::filesystem::create_directories(path.parent_path());
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    std::string chunk(4096, 'x');
    for (int64_t left = size; left > 0; left -= int64_t(chunk.size()))
        out.write(chunk.data(), std::streamsize(std::min<int64_t>(left, int64_t(chunk.size()))));
    if (!out) throw std::runtime_error("write failed: " + path.string());
}

void writePhotosMusicAndNotes(const std::filesystem::path& root) {
    for (int i = 0; i < 8; ++i) writeFile(root / ("Photos/img" + std::to_string(i) + ".jpg"), 40000 + i * 1000);
    for (int i = 0; i < 3; ++i) writeFile(root / ("Music/Album/track" + std::to_string(i) + ".mp3"), 90000);
    writeFile(root / "notes.txt", 1200);
}

}  // namespace zelvane::fixtures
