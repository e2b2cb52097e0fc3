#include "Platform/RegularFile.hpp"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>

namespace zelvane {

RegularFileOpening openRegularFile(const std::string& path) {
    RegularFileOpening out;
    out.fd.reset(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK));
    if (!out.fd) {
        out.error = errno;
        return out;
    }
    struct stat st {};
    if (::fstat(out.fd.get(), &st) != 0) {
        out.error = errno;
    } else if (S_ISDIR(st.st_mode)) {
        out.error = EISDIR;
    } else if (!S_ISREG(st.st_mode)) {
        out.error = EINVAL;
        out.notRegular = true;
    }
    if (out.error) out.fd.reset();
    return out;
}

RegularFileBytes readRegularFile(const std::string& path, size_t maxBytes) {
    RegularFileBytes out;
    RegularFileOpening opened = openRegularFile(path);
    if (opened.error) {
        out.error = opened.error;
        out.notRegular = opened.notRegular;
        return out;
    }
    char chunk[65536];
    for (;;) {
        const ssize_t r = ::read(opened.fd.get(), chunk, sizeof chunk);
        if (r < 0 && errno == EINTR) continue;
        if (r < 0) {
            out.error = errno;
            out.bytes.clear();
            return out;
        }
        if (r == 0) return out;
        if (out.bytes.size() + size_t(r) > maxBytes) {
            out.error = EFBIG;
            out.bytes.clear();
            return out;
        }
        out.bytes.append(chunk, size_t(r));
    }
}

bool namesASpecialFile(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 && !S_ISREG(st.st_mode) && !S_ISDIR(st.st_mode);
}

}  // namespace zelvane
