#include "TestTrees.hpp"

#include <cstdio>
#include <fstream>
#include <string>

namespace zelvane::fixtures {

void writePhotosMusicAndNotes(const std::filesystem::path& root) {
    for (int i = 0; i < 8; ++i) writeFile(root / ("Photos/img" + std::to_string(i) + ".jpg"), 40000 + i * 1000);
    for (int i = 0; i < 3; ++i) writeFile(root / ("Music/Album/track" + std::to_string(i) + ".mp3"), 90000);
    writeFile(root / "notes.txt", 1200);
}

void writeWideExport(const std::filesystem::path& csvPath, int folders, int files) {
    std::ofstream csv(csvPath);
    csv << "File Name,Size,Allocated,Modified,Attributes,Files,Folders\n";
    csv << "\"/wide/\",0,0,2024/03/05 07:08:09,0," << folders * files << ',' << folders << '\n';
    char name[64];
    for (int f = 0; f < folders; ++f) {
        std::snprintf(name, sizeof name, "/wide/f%03d/", f);
        csv << '"' << name << "\",0,0,2024/03/05 07:08:09,0," << files << ",0\n";
        for (int n = 0; n < files; ++n) {
            std::snprintf(name, sizeof name, "/wide/f%03d/n%05d.txt", f, n);
            csv << '"' << name << "\",100,4096,2024/03/05 07:08:09,0,0,0\n";
        }
    }
}

}  // namespace zelvane::fixtures
