#include "TestTrees.hpp"

#include <string>

namespace zelvane::fixtures {

void writePhotosMusicAndNotes(const std::filesystem::path& root) {
    for (int i = 0; i < 8; ++i) writeFile(root / ("Photos/img" + std::to_string(i) + ".jpg"), 40000 + i * 1000);
    for (int i = 0; i < 3; ++i) writeFile(root / ("Music/Album/track" + std::to_string(i) + ".mp3"), 90000);
    writeFile(root / "notes.txt", 1200);
}

}  // namespace zelvane::fixtures
