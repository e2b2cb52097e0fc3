#include "FileContents.hpp"

#include <fcntl.h>
#include <sys/stat.h>

#include <algorithm>
#include <fstream>
#include <iterator>
#include <stdexcept>

namespace zelvane::testsupport {

namespace fs = std::filesystem;

namespace {

std::ofstream openForWriting(const fs::path& path) {
    if (path.has_parent_path()) fs::create_directories(path.parent_path());
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    if (!out) throw std::runtime_error("cannot write " + path.string());
    return out;
}

}  // namespace

void writeFile(const fs::path& path, std::string_view bytes) {
    std::ofstream out = openForWriting(path);
    out.write(bytes.data(), std::streamsize(bytes.size()));
    if (!out.flush()) throw std::runtime_error("cannot write " + path.string());
}

void writeFile(const fs::path& path, int64_t size) {
    std::ofstream out = openForWriting(path);
    const std::string chunk(4096, 'x');
    for (int64_t left = size; left > 0; left -= int64_t(chunk.size()))
        out.write(chunk.data(), std::streamsize(std::min<int64_t>(left, int64_t(chunk.size()))));
    if (!out.flush()) throw std::runtime_error("cannot write " + path.string());
}

std::string noiseBytes(size_t count) {
    std::string out;
    out.reserve(count);
    uint64_t x = 88172645463325252ull;  // xorshift64
    while (out.size() < count) {
        x ^= x << 13;
        x ^= x >> 7;
        x ^= x << 17;
        out.push_back(char(x));
    }
    return out;
}

std::string readFile(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

void makeFolder(const fs::path& path) { fs::create_directories(path); }

void setModified(const fs::path& path, long unixSeconds) {
    const struct timespec times[2] = {{unixSeconds, 0}, {unixSeconds, 0}};
    if (::utimensat(AT_FDCWD, path.c_str(), times, AT_SYMLINK_NOFOLLOW) != 0)
        throw std::runtime_error("cannot set the time of " + path.string());
}

bool existsNoFollow(const fs::path& path) {
    struct stat st {};
    return ::lstat(path.c_str(), &st) == 0;
}

std::vector<std::string> namesIn(const fs::path& folder) {
    std::vector<std::string> names;
    std::error_code error;
    for (fs::directory_iterator it(folder, error), end; !error && it != end; it.increment(error))
        names.push_back(it->path().filename().native());
    std::sort(names.begin(), names.end());
    return names;
}

}  // namespace zelvane::testsupport
