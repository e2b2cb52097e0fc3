#include "Platform/FreedesktopTrash.hpp"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "Platform/FileDescriptor.hpp"
#include "Platform/FileMoves.hpp"

namespace zelvane {

namespace {

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

int finishTrashFolder(const std::string& trashDir, const ItemFacts& item, uid_t uid, TrashLookup& out) {
    for (const std::string& folder : {trashDir, trashDir + "/files", trashDir + "/info"}) {
        if (int err = ensurePrivateFolder(folder, uid)) {
            out.failedPath = folder;
            return err;
        }
    }
    ItemFacts files;
    if (int err = readItemFacts(trashDir + "/files", files)) return err;
    if (!files.sameMountAs(item)) {
        out.failedPath = trashDir;
        return EXDEV;
    }
    out.location.trashDir = trashDir;
    return 0;
}

// The nearest folder at or above `path` that exists.
int nearestExistingFacts(std::string path, ItemFacts& facts) {
    while (true) {
        const int err = readItemFacts(path, facts);
        if (err == 0) return 0;
        if (err != ENOENT) return err;
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

// The name in the trash that number `n` gives an item whose base name is `base`.
std::string numberedName(const std::string& base, uint64_t n) { return n == 1 ? base : base + "." + std::to_string(n); }

// A number from `from` on whose name has neither a record nor an item in the trash: the next
// few in turn, else doubling the step until one is free and halving back towards the last one
// taken. Thousands of items of one name (every "index.js" ever trashed) thus cost a few looks
// each, where trying every number in turn cost one per earlier item. Zero when none is found.
uint64_t freeNumber(int infoDir, int filesDir, const std::string& base, uint64_t from) {
    constexpr uint64_t kLast = uint64_t(1) << 48;
    const auto taken = [&](uint64_t n) {
        struct stat st {};
        const std::string name = numberedName(base, n);
        return fstatat(infoDir, (name + ".trashinfo").c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0 ||
               fstatat(filesDir, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0;
    };
    uint64_t n = from;
    for (; n < from + 8; ++n)
        if (!taken(n)) return n;
    uint64_t lo = n - 1, hi = n, step = 8;
    while (taken(hi)) {
        lo = hi;
        if (step > kLast) return 0;
        hi = lo + step;
        step *= 2;
    }
    while (hi - lo > 1) {
        const uint64_t mid = lo + (hi - lo) / 2;
        (taken(mid) ? lo : hi) = mid;
    }
    return hi;
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

std::string trashKey(const ItemFacts& item) {
    return item.hasMountId ? "mount:" + std::to_string(item.mountId) : "device:" + std::to_string(item.device);
}

TrashLookup locateTrash(const std::string& itemPath, const ItemFacts& item, const TrashEnvironment& env) {
    TrashLookup out;
    if (!env.homeTrash.empty()) {
        ItemFacts home;
        if (nearestExistingFacts(env.homeTrash, home) == 0 && home.sameMountAs(item)) {
            out.error = ensureFolderChain(parentPath(env.homeTrash), env.uid);
            if (out.error) out.failedPath = parentPath(env.homeTrash);
            else out.error = finishTrashFolder(env.homeTrash, item, env.uid, out);
            return out;
        }
    }

    // The top folder of the item's mount: the highest folder above it on the same mount.
    std::string top;
    if ((out.error = canonicalFolderPath(parentPath(itemPath), top))) return out;
    ItemFacts facts;
    if ((out.error = readItemFacts(top, facts))) return out;
    if (!facts.sameMountAs(item)) {
        // The item is itself where a file system is mounted: its trash would lie inside it.
        out.error = EBUSY;
        return out;
    }
    while (top != "/") {
        std::string up = parentPath(top);
        if (readItemFacts(up, facts) != 0 || !facts.sameMountAs(item)) break;
        top = up;
    }
    out.location.topDir = top;

    std::string uid = std::to_string(env.uid);
    std::string shared = joinPath(top, ".Trash");
    struct stat st {};
    if (lstat(shared.c_str(), &st) == 0 && S_ISDIR(st.st_mode) && (st.st_mode & S_ISVTX)) {
        TrashLookup inShared = out;
        if (finishTrashFolder(joinPath(shared, uid), item, env.uid, inShared) == 0) return inShared;
    }
    out.error = finishTrashFolder(joinPath(top, ".Trash-" + uid), item, env.uid, out);
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

TrashMoveResult moveToTrash(const ItemInFolder& item, const std::string& itemPath, const TrashLocation& trash,
                            std::time_t deletionTime) {
    TrashMoveResult result;
    auto failAtTrash = [&](int err) {
        result.error = err;
        result.atTrash = true;
        return result;
    };
    if (itemPath.empty() || itemPath[0] != '/') return failAtTrash(EINVAL);
    FileDescriptor filesDir(open((trash.trashDir + "/files").c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC | O_NOFOLLOW));
    if (!filesDir) return failAtTrash(errno);
    FileDescriptor infoDir(open((trash.trashDir + "/info").c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC | O_NOFOLLOW));
    if (!infoDir) return failAtTrash(errno);

    // The record names the item as the volume sees it: relative to the top folder on other
    // volumes, absolute for the home trash.
    std::string folder;
    std::string full = canonicalFolderPath(parentPath(itemPath), folder) == 0 ? joinPath(folder, item.name) : itemPath;
    std::string recordedPath = full;
    if (!trash.topDir.empty()) {
        const std::string prefix = trash.topDir == "/" ? "/" : trash.topDir + "/";
        if (full.compare(0, prefix.size(), prefix) == 0) recordedPath = full.substr(prefix.size());
    }
    const std::string record = "[Trash Info]\nPath=" + percentEncodePath(recordedPath) +
                               "\nDeletionDate=" + trashInfoDate(deletionTime) + "\n";

    const std::string base = trashBaseName(item.name);
    // The record is made exclusively, so a name taken meanwhile by another program only sends
    // the search on.
    uint64_t n = 0;
    for (int tries = 0; tries < 1000; ++tries) {
        n = freeNumber(infoDir.get(), filesDir.get(), base, n + 1);
        if (n == 0) break;
        const std::string candidate = numberedName(base, n);
        const std::string infoName = candidate + ".trashinfo";
        FileDescriptor info(openat(infoDir.get(), infoName.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, 0600));
        if (!info) {
            if (errno == EEXIST) continue;
            return failAtTrash(errno);
        }
        const ssize_t written = write(info.get(), record.data(), record.size());
        int writeErr = written == ssize_t(record.size()) ? 0 : (written < 0 ? errno : EIO);
        if (close(info.release()) != 0 && !writeErr) writeErr = errno;
        if (writeErr) {
            unlinkat(infoDir.get(), infoName.c_str(), 0);
            return failAtTrash(writeErr);
        }
        const int err = renameNoReplace(item.folder.get(), item.name, filesDir.get(), candidate);
        if (err == 0) {
            result.trashedName = candidate;
            return result;
        }
        unlinkat(infoDir.get(), infoName.c_str(), 0);
        if (err != EEXIST && err != ENOTEMPTY) {
            result.error = err;
            // A rename between two mounts is refused by the trash's place, not by the item.
            result.atTrash = err == EXDEV;
            return result;
        }
    }
    return failAtTrash(EEXIST);
}

}  // namespace zelvane
