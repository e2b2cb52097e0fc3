#include "Platform/FreedesktopTrash.hpp"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "Platform/FileMoves.hpp"

namespace zelvane {

namespace {

// A descriptor closed when it goes out of scope.
class Fd final {
public:
    explicit Fd(int fd = -1) : fd_(fd) {}
    ~Fd() { if (fd_ >= 0) close(fd_); }
    Fd(const Fd&) = delete;
    Fd& operator=(const Fd&) = delete;
    int get() const { return fd_; }

private:
    int fd_;
};

// A folder of the trash: made 0700 when missing, and accepted only as a real folder (not a
// link to somewhere else) owned by the user.
int ensurePrivateFolder(const std::string& path, uid_t uid) {
    if (mkdir(path.c_str(), 0700) != 0 && errno != EEXIST) return errno;
    struct stat st {};
    if (lstat(path.c_str(), &st) != 0) return errno;
    if (!S_ISDIR(st.st_mode)) return ENOTDIR;
    if (st.st_uid != uid) return EPERM;
    return 0;
}

// Makes every missing folder on the way (0700), as `mkdir -p` would.
int ensureFolderChain(const std::string& path, uid_t uid) {
    struct stat st {};
    if (lstat(path.c_str(), &st) == 0) return S_ISDIR(st.st_mode) ? 0 : ENOTDIR;
    std::string parent = parentPath(path);
    if (parent != path && parent != "/" && parent != ".") {
        int err = ensureFolderChain(parent, uid);
        if (err) return err;
    }
    return ensurePrivateFolder(path, uid);
}

int finishTrashFolder(const std::string& trashDir, dev_t device, uid_t uid, TrashLookup& out) {
    if (int err = ensurePrivateFolder(trashDir, uid)) return err;
    if (int err = ensurePrivateFolder(trashDir + "/files", uid)) return err;
    if (int err = ensurePrivateFolder(trashDir + "/info", uid)) return err;
    struct stat st {};
    if (stat((trashDir + "/files").c_str(), &st) != 0) return errno;
    if (st.st_dev != device) return EXDEV;
    out.location.trashDir = trashDir;
    out.location.device = device;
    return 0;
}

// The nearest folder at or above `path` that exists, for its device.
int nearestExistingDevice(std::string path, dev_t& device) {
    struct stat st {};
    while (true) {
        if (stat(path.c_str(), &st) == 0) {
            device = st.st_dev;
            return 0;
        }
        if (errno != ENOENT) return errno;
        std::string up = parentPath(path);
        if (up == path) return ENOENT;
        path = up;
    }
}

std::string trashInfoDate(std::time_t t) {
    struct tm local {};
    localtime_r(&t, &local);
    char buf[32];
    strftime(buf, sizeof buf, "%Y-%m-%dT%H:%M:%S", &local);
    return buf;
}

// Room for ".trashinfo" and a counter within NAME_MAX, cut at a character boundary.
std::string trashBaseName(const std::string& name) {
    constexpr size_t kLimit = 255 - 10 - 12;
    if (name.size() <= kLimit) return name;
    size_t cut = kLimit;
    while (cut > 0 && (static_cast<unsigned char>(name[cut]) & 0xC0) == 0x80) --cut;
    return name.substr(0, cut);
}

}  // namespace

TrashEnvironment TrashEnvironment::current() {
    TrashEnvironment env;
    env.uid = getuid();
    const char* dataHome = std::getenv("XDG_DATA_HOME");
    const char* home = std::getenv("HOME");
    if (dataHome && dataHome[0] == '/') env.homeTrash = joinPath(dataHome, "Trash");
    else if (home && home[0] == '/') env.homeTrash = joinPath(joinPath(home, ".local/share"), "Trash");
    return env;
}

int itemDevice(const std::string& itemPath, dev_t& device) {
    struct stat st {};
    if (lstat(itemPath.c_str(), &st) != 0) return errno;
    device = st.st_dev;
    return 0;
}

TrashLookup locateTrash(const std::string& itemPath, dev_t device, const TrashEnvironment& env) {
    TrashLookup out;
    if (!env.homeTrash.empty()) {
        dev_t homeDevice = 0;
        if (nearestExistingDevice(env.homeTrash, homeDevice) == 0 && homeDevice == device) {
            out.error = ensureFolderChain(parentPath(env.homeTrash), env.uid);
            if (!out.error) out.error = finishTrashFolder(env.homeTrash, device, env.uid, out);
            return out;
        }
    }

    // The volume's top folder: the highest folder above the item on the item's device.
    char* resolved = realpath(parentPath(itemPath).c_str(), nullptr);
    if (!resolved) {
        out.error = errno;
        return out;
    }
    std::string top = resolved;
    free(resolved);
    struct stat st {};
    while (top != "/") {
        std::string up = parentPath(top);
        if (stat(up.c_str(), &st) != 0 || st.st_dev != device) break;
        top = up;
    }
    out.location.topDir = top;

    std::string uid = std::to_string(env.uid);
    std::string shared = joinPath(top, ".Trash");
    if (lstat(shared.c_str(), &st) == 0 && S_ISDIR(st.st_mode) && (st.st_mode & S_ISVTX)) {
        if (finishTrashFolder(joinPath(shared, uid), device, env.uid, out) == 0) return out;
    }
    out.error = finishTrashFolder(joinPath(top, ".Trash-" + uid), device, env.uid, out);
    return out;
}

std::string percentEncodePath(const std::string& bytes) {
    static constexpr char kHex[] = "0123456789ABCDEF";
    std::string out;
    out.reserve(bytes.size());
    for (unsigned char c : bytes) {
        bool keep = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-' ||
                    c == '.' || c == '_' || c == '~' || c == '/';
        if (keep) {
            out += char(c);
        } else {
            out += '%';
            out += kHex[c >> 4];
            out += kHex[c & 15];
        }
    }
    return out;
}

int moveToTrash(const std::string& itemPath, const TrashLocation& trash, std::time_t deletionTime,
                std::string* trashedName) {
    if (itemPath.empty() || itemPath[0] != '/') return EINVAL;
    Fd filesDir(open((trash.trashDir + "/files").c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC | O_NOFOLLOW));
    Fd infoDir(open((trash.trashDir + "/info").c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC | O_NOFOLLOW));
    if (filesDir.get() < 0 || infoDir.get() < 0) return errno;

    // The record names the item as the volume sees it: relative to the top folder on other
    // volumes, absolute for the home trash.
    std::string recordedPath = itemPath;
    if (!trash.topDir.empty()) {
        char* resolved = realpath(parentPath(itemPath).c_str(), nullptr);
        if (!resolved) return errno;
        std::string folder = resolved;
        free(resolved);
        std::string full = joinPath(folder, lastComponent(itemPath));
        std::string prefix = trash.topDir == "/" ? "/" : trash.topDir + "/";
        recordedPath = full.compare(0, prefix.size(), prefix) == 0 ? full.substr(prefix.size()) : full;
    }
    std::string record = "[Trash Info]\nPath=" + percentEncodePath(recordedPath) +
                         "\nDeletionDate=" + trashInfoDate(deletionTime) + "\n";

    std::string base = trashBaseName(lastComponent(itemPath));
    for (int n = 1; n < 100000; ++n) {
        std::string candidate = n == 1 ? base : base + "." + std::to_string(n);
        std::string infoName = candidate + ".trashinfo";
        int fd = openat(infoDir.get(), infoName.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, 0600);
        if (fd < 0) {
            if (errno == EEXIST) continue;
            return errno;
        }
        ssize_t written = write(fd, record.data(), record.size());
        int writeErr = written == ssize_t(record.size()) ? 0 : (written < 0 ? errno : EIO);
        if (close(fd) != 0 && !writeErr) writeErr = errno;
        if (writeErr) {
            unlinkat(infoDir.get(), infoName.c_str(), 0);
            return writeErr;
        }
        int err = renameNoReplace(AT_FDCWD, itemPath, filesDir.get(), candidate);
        if (err == 0) {
            if (trashedName) *trashedName = candidate;
            return 0;
        }
        unlinkat(infoDir.get(), infoName.c_str(), 0);
        if (err != EEXIST && err != ENOTEMPTY) return err;
    }
    return EEXIST;
}

}  // namespace zelvane
