#include "Platform/FileReplacement.hpp"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <charconv>
#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <thread>

#include "Platform/FileMoves.hpp"

namespace zelvane {

ReplacementFile::~ReplacementFile() {
    if (fd_ >= 0) ::close(fd_);
    if (!tempPath_.empty()) ::unlink(tempPath_.c_str());
}

namespace {

// How long a FIFO at the target may take to get a reader: two seconds in steps of 20 ms.
constexpr auto kReaderWaitStep = std::chrono::milliseconds(20);
constexpr int kReaderWaitSteps = 100;

}  // namespace

int ReplacementFile::open(const std::string& target, Mode mode) {
    if (target.empty()) return ENOENT;
    if (fd_ >= 0) return EBUSY;
    target_ = target;
    mode_ = mode;
    struct stat st {};
    bool keepMode = false;
    if (mode == Mode::createNew) {
        if (::lstat(target.c_str(), &st) == 0) return EEXIST;
    } else if (mode == Mode::replaceLink && ::lstat(target.c_str(), &st) == 0 && S_ISLNK(st.st_mode)) {
        // The link itself is replaced: the file it names is never opened.
    } else if (::stat(target.c_str(), &st) == 0) {
        if (S_ISDIR(st.st_mode)) return EISDIR;
        if (!S_ISREG(st.st_mode)) {
            // Renaming over a device or a pipe would replace the special file itself. A FIFO that
            // nobody reads would hold a blocking open for good: opened without blocking it fails
            // (ENXIO) while it has no reader, which it is given a moment to get; the writes that
            // follow block as usual.
            for (int attempt = 0;; ++attempt) {
                fd_ = ::open(target.c_str(), O_WRONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
                if (fd_ >= 0 || errno != ENXIO || attempt == kReaderWaitSteps) break;
                std::this_thread::sleep_for(kReaderWaitStep);
            }
            if (fd_ < 0) return errno;
            const int flags = ::fcntl(fd_, F_GETFL);
            if (flags < 0 || ::fcntl(fd_, F_SETFL, flags & ~O_NONBLOCK) != 0) return errno;
            return 0;
        }
        // The rename needs only the folder's permission; a file the user may not write (read-only,
        // another user's) is refused as opening it for writing would be.
        if (::faccessat(AT_FDCWD, target.c_str(), W_OK, AT_EACCESS) != 0) return errno;
        if (char* real = ::realpath(target.c_str(), nullptr)) {
            target_ = real;
            std::free(real);
        }
        keepMode = true;
    }
    const size_t slash = target_.rfind('/');
    const std::string dir = slash == std::string::npos ? std::string() : target_.substr(0, slash + 1);
    std::string base = slash == std::string::npos ? target_ : target_.substr(slash + 1);
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
            tempPath_ = std::move(temp);
            // A replacement that silently lost the old permission bits would be a changed file.
            if (keepMode && ::fchmod(fd_, st.st_mode & 07777) != 0) return errno;
            return 0;
        }
        if (errno != EEXIST) return errno;
    }
    return EEXIST;
}

int ReplacementFile::write(std::string_view bytes) {
    if (fd_ < 0) return EBADF;
    while (!bytes.empty()) {
        const ssize_t n = ::write(fd_, bytes.data(), bytes.size());
        if (n < 0) {
            if (errno == EINTR) continue;
            return errno;
        }
        if (n == 0) return EIO;
        bytes.remove_prefix(static_cast<size_t>(n));
    }
    return 0;
}

int ReplacementFile::commit() {
    if (fd_ < 0) return EBADF;
    const int fd = fd_;
    fd_ = -1;
    // A failed close may mean lost data (network file systems report write errors here).
    if (::close(fd) != 0) return errno;
    if (tempPath_.empty()) return 0;
    if (mode_ == Mode::createNew) {
        if (const int err = renameNoReplace(AT_FDCWD, tempPath_, AT_FDCWD, target_)) return err;
    } else if (::rename(tempPath_.c_str(), target_.c_str()) != 0) {
        return errno;
    }
    tempPath_.clear();
    return 0;
}

int replaceFileContents(const std::string& path, std::string_view bytes) {
    ReplacementFile file;
    if (int err = file.open(path)) return err;
    if (int err = file.write(bytes)) return err;
    return file.commit();
}

}  // namespace zelvane
