#include "Platform/FileReplacement.hpp"

#include <cerrno>
#include <charconv>
#include <chrono>
#include <cstdint>
#include <cstdlib>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace zelvane {
namespace {

int writeAll(int fd, std::string_view bytes) {
    while (!bytes.empty()) {
        const ssize_t n = ::write(fd, bytes.data(), bytes.size());
        if (n < 0) {
            if (errno == EINTR) continue;
            return errno;
        }
        bytes.remove_prefix(static_cast<size_t>(n));
    }
    return 0;
}

// Owns the temporary file until it has been renamed over the target.
class TemporaryFile final {
public:
    TemporaryFile() = default;
    TemporaryFile(const TemporaryFile&) = delete;
    TemporaryFile& operator=(const TemporaryFile&) = delete;
    ~TemporaryFile() {
        if (fd_ >= 0) ::close(fd_);
        if (!path_.empty()) ::unlink(path_.c_str());
    }

    int create(const std::string& target) {
        const size_t slash = target.rfind('/');
        const std::string dir = slash == std::string::npos ? std::string() : target.substr(0, slash + 1);
        std::string base = slash == std::string::npos ? target : target.substr(slash + 1);
        if (base.size() > 200) base.resize(200);  // the temporary name must stay within NAME_MAX
        uint64_t seed = uint64_t(std::chrono::steady_clock::now().time_since_epoch().count()) ^
                        (uint64_t(::getpid()) << 32) ^ reinterpret_cast<uintptr_t>(this);
        for (int attempt = 0; attempt < 100; ++attempt) {
            seed = seed * 6364136223846793005ull + 1442695040888963407ull;
            char suffix[17];
            const auto r = std::to_chars(suffix, suffix + 16, seed >> 4, 16);
            std::string temp = dir + "." + base + ".tmp-" + std::string(suffix, r.ptr);
            // 0666: the umask decides, as for any new file the user makes.
            const int fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
            if (fd >= 0) {
                fd_ = fd;
                path_ = std::move(temp);
                return 0;
            }
            if (errno != EEXIST) return errno;
        }
        return EEXIST;
    }

    int fd() const { return fd_; }

    int closeFile() {
        const int fd = fd_;
        fd_ = -1;
        return ::close(fd) == 0 ? 0 : errno;
    }

    int renameOver(const std::string& target) {
        if (::rename(path_.c_str(), target.c_str()) != 0) return errno;
        path_.clear();
        return 0;
    }

private:
    int fd_ = -1;
    std::string path_;
};

}  // namespace

int replaceFileContents(const std::string& path, std::string_view bytes) {
    if (path.empty()) return ENOENT;
    std::string target = path;
    struct stat st {};
    bool keepMode = false;
    if (::stat(path.c_str(), &st) == 0) {
        if (S_ISDIR(st.st_mode)) return EISDIR;
        if (!S_ISREG(st.st_mode)) {
            // Renaming over a device or a pipe would replace the special file itself.
            const int fd = ::open(path.c_str(), O_WRONLY | O_CLOEXEC | O_NOCTTY);
            if (fd < 0) return errno;
            int err = writeAll(fd, bytes);
            if (::close(fd) != 0 && err == 0) err = errno;
            return err;
        }
        if (char* real = ::realpath(path.c_str(), nullptr)) {
            target = real;
            std::free(real);
        }
        keepMode = true;
    }

    TemporaryFile temp;
    if (int err = temp.create(target)) return err;
    if (keepMode && ::fchmod(temp.fd(), st.st_mode & 07777) != 0) return errno;
    if (int err = writeAll(temp.fd(), bytes)) return err;
    if (int err = temp.closeFile()) return err;
    return temp.renameOver(target);
}

}  // namespace zelvane
