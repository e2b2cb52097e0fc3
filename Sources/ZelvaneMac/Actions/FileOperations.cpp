#include "ZelvaneMac/Actions/FileOperations.hpp"

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>
#include <zip.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <filesystem>
#include <memory>
#include <system_error>

#include "Platform/FileMoves.hpp"
#include "ZelvaneMac/Actions/FileNaming.hpp"
#include "ZelvaneMac/Core/Text/Localization.hpp"

namespace fs = std::filesystem;

namespace zelvane {

namespace {

constexpr const char* kTagsAttribute = "user.xdg.tags";

int errnoOf(const std::error_code& ec) { return ec ? (ec.value() ? ec.value() : EIO) : 0; }

}  // namespace

QString trimmedNewName(const QString& name) {
    qsizetype from = 0;
    qsizetype to = name.size();
    while (from < to && name.at(from).isSpace()) ++from;
    while (to > from && name.at(to - 1).isSpace()) --to;
    return name.mid(from, to - from);
}

const char* invalidNameReason(const QString& trimmedName) {
    if (trimmedName.isEmpty()) return textKey("The name is empty.");
    if (trimmedName == QLatin1String(".") || trimmedName == QLatin1String(".."))
        return textKey("The names \".\" and \"..\" are reserved.");
    if (trimmedName.contains(QLatin1Char('/')) || trimmedName.contains(QChar(0)))
        return textKey("A name can't contain \"/\" or a NUL character.");
    return nullptr;
}

int renameItem(const std::string& path, const std::string& newName) {
    if (newName.empty() || newName == "." || newName == ".." || newName.find('/') != std::string::npos ||
        newName.find('\0') != std::string::npos)
        return EINVAL;
    return renameNoReplace(AT_FDCWD, path, AT_FDCWD, joinPath(parentPath(path), newName));
}

namespace {

// A scan stays on the volume of its root and shows a mounted folder empty: removing a folder must
// not reach into a file system mounted below it, which the user never saw. EXDEV when something
// below `folder` lies on another device; nothing is removed then.
int checkOneFileSystem(const std::string& folder, dev_t device) {
    std::error_code ec;
    fs::recursive_directory_iterator it(folder, fs::directory_options::none, ec);
    if (ec) return errnoOf(ec);
    for (; it != fs::recursive_directory_iterator(); it.increment(ec)) {
        if (ec) return errnoOf(ec);
        struct stat st {};
        if (lstat(it->path().c_str(), &st) != 0) return errno;
        if (st.st_dev != device) return EXDEV;
    }
    return errnoOf(ec);
}

}  // namespace

int removeItem(const std::string& path) {
    // The file system's root is never removed, whatever was confirmed.
    if (path == "/") return EPERM;
    // An item that is already gone was not removed by us: it is not reported as deleted.
    struct stat st {};
    if (lstat(path.c_str(), &st) != 0) return errno;
    if (S_ISDIR(st.st_mode)) {
        if (int err = checkOneFileSystem(path, st.st_dev)) return err;
    }
    std::error_code ec;
    fs::remove_all(fs::path(path), ec);
    return errnoOf(ec);
}

int duplicateItem(const std::string& path, const std::string& destination) {
    struct stat st {};
    if (lstat(destination.c_str(), &st) == 0) return EEXIST;
    if (lstat(path.c_str(), &st) != 0) return errno;
    std::error_code ec;
    if (S_ISLNK(st.st_mode)) {
        fs::copy_symlink(path, destination, ec);
        return errnoOf(ec);
    }
    if (S_ISDIR(st.st_mode)) {
        fs::copy(path, destination, fs::copy_options::recursive | fs::copy_options::copy_symlinks, ec);
    } else if (S_ISREG(st.st_mode)) {
        fs::copy_file(path, destination, fs::copy_options::none, ec);
    } else {
        return ENOTSUP;
    }
    if (ec) {
        std::error_code ignored;
        fs::remove_all(destination, ignored);
    }
    return errnoOf(ec);
}

int makeSymbolicLink(const std::string& target, const std::string& linkPath) {
    return symlink(target.c_str(), linkPath.c_str()) == 0 ? 0 : errno;
}

int setTags(const std::string& path, const std::vector<std::string>& tags) {
    if (tags.empty()) {
        if (lremovexattr(path.c_str(), kTagsAttribute) == 0 || errno == ENODATA) return 0;
        return errno;
    }
    std::string value;
    for (const auto& t : tags) {
        if (!value.empty()) value += ',';
        value += t;
    }
    return lsetxattr(path.c_str(), kTagsAttribute, value.data(), value.size(), 0) == 0 ? 0 : errno;
}

std::vector<std::string> readTags(const std::string& path) {
    std::vector<std::string> out;
    ssize_t size = lgetxattr(path.c_str(), kTagsAttribute, nullptr, 0);
    if (size <= 0) return out;
    std::string value(size_t(size), '\0');
    size = lgetxattr(path.c_str(), kTagsAttribute, value.data(), value.size());
    if (size < 0) return out;
    value.resize(size_t(size));
    size_t from = 0;
    while (from <= value.size()) {
        size_t comma = value.find(',', from);
        if (comma == std::string::npos) comma = value.size();
        if (comma > from) out.push_back(value.substr(from, comma - from));
        from = comma + 1;
    }
    return out;
}

namespace {

// An archive being written; discarded (its temporary file removed) unless closed successfully.
class ZipWriter final {
public:
    explicit ZipWriter(zip_t* archive) : archive_(archive) {}
    ~ZipWriter() { if (archive_) zip_discard(archive_); }
    ZipWriter(const ZipWriter&) = delete;
    ZipWriter& operator=(const ZipWriter&) = delete;
    zip_t* get() const { return archive_; }

    int add(const std::string& entryName, const std::string& diskPath, const struct stat& st) {
        zip_int64_t index = -1;
        if (S_ISDIR(st.st_mode)) {
            index = zip_dir_add(archive_, entryName.c_str(), ZIP_FL_ENC_GUESS);
        } else if (S_ISREG(st.st_mode)) {
            zip_source_t* source = zip_source_file(archive_, diskPath.c_str(), 0, -1);
            if (!source) return EIO;
            index = zip_file_add(archive_, entryName.c_str(), source, ZIP_FL_ENC_GUESS);
            if (index < 0) zip_source_free(source);
        } else if (S_ISLNK(st.st_mode)) {
            std::string target(size_t(st.st_size > 0 ? st.st_size : 4096) + 1, '\0');
            ssize_t n = readlink(diskPath.c_str(), target.data(), target.size());
            if (n < 0) return errno;
            target.resize(size_t(n));
            const std::string& kept = linkTargets_.emplace_back(std::move(target));
            zip_source_t* source = zip_source_buffer(archive_, kept.data(), kept.size(), 0);
            if (!source) return EIO;
            index = zip_file_add(archive_, entryName.c_str(), source, ZIP_FL_ENC_GUESS);
            if (index < 0) zip_source_free(source);
        } else {
            return 0;
        }
        if (index < 0) return EIO;
        zip_file_set_external_attributes(archive_, zip_uint64_t(index), 0, ZIP_OPSYS_UNIX,
                                         zip_uint32_t(st.st_mode & 0xFFFF) << 16);
        zip_file_set_mtime(archive_, zip_uint64_t(index), st.st_mtime, 0);
        return 0;
    }

    int close() {
        int rc = zip_close(archive_);
        if (rc != 0) return EIO;
        archive_ = nullptr;
        return 0;
    }

private:
    zip_t* archive_;
    std::deque<std::string> linkTargets_;  // buffers libzip reads when the archive is closed
};

// Read without changing it: umask() would set it, and other threads may create files meanwhile.
mode_t currentUmask() {
    int fd = open("/proc/self/status", O_RDONLY | O_CLOEXEC);
    if (fd < 0) return 022;
    char buf[4096];
    ssize_t n = read(fd, buf, sizeof buf - 1);
    ::close(fd);
    if (n <= 0) return 022;
    buf[n] = 0;
    const char* at = strstr(buf, "Umask:");
    if (!at) return 022;
    return mode_t(strtol(at + 6, nullptr, 8)) & 0777;
}

int writeArchive(const std::string& itemPath, const std::string& tempPath) {
    struct stat top {};
    if (lstat(itemPath.c_str(), &top) != 0) return errno;
    if (!S_ISDIR(top.st_mode) && !S_ISREG(top.st_mode) && !S_ISLNK(top.st_mode)) return ENOTSUP;
    int zerr = 0;
    zip_t* archive = zip_open(tempPath.c_str(), ZIP_TRUNCATE, &zerr);
    if (!archive) return EIO;
    ZipWriter writer(archive);
    std::string base = lastComponent(itemPath);
    if (int err = writer.add(base, itemPath, top)) return err;
    if (S_ISDIR(top.st_mode)) {
        std::error_code ec;
        fs::recursive_directory_iterator it(itemPath, fs::directory_options::none, ec);
        if (ec) return errnoOf(ec);
        for (; it != fs::recursive_directory_iterator(); it.increment(ec)) {
            if (ec) return errnoOf(ec);
            const std::string disk = it->path().native();
            struct stat st {};
            if (lstat(disk.c_str(), &st) != 0) return errno;
            std::string entry = base + disk.substr(itemPath.size());
            if (int err = writer.add(entry, disk, st)) return err;
        }
        if (ec) return errnoOf(ec);
    }
    return writer.close();
}

}  // namespace

CompressResult compressToZip(const std::string& itemPath, const std::string& folder, const std::string& stem,
                             const std::string& archiveName) {
    CompressResult result;
    std::string pattern = joinPath(folder, "." + stem.substr(0, 180) + ".zip-XXXXXX");
    int fd = mkostemp(pattern.data(), O_CLOEXEC);
    if (fd < 0) {
        result.error = errno;
        return result;
    }
    // The archive is a new file of the user's: the usual mode, not the temporary file's 0600.
    fchmod(fd, 0666 & ~currentUmask());
    ::close(fd);
    const std::string tempPath = pattern;
    std::string itemForArchive = itemPath;
    while (itemForArchive.size() > 1 && itemForArchive.back() == '/') itemForArchive.pop_back();
    result.error = writeArchive(itemForArchive, tempPath);
    if (!result.error) {
        std::string name = archiveName;
        for (int attempt = 0; attempt < 1000; ++attempt) {
            int err = renameNoReplace(AT_FDCWD, tempPath, AT_FDCWD, joinPath(folder, name));
            if (err == 0) {
                result.archivePath = joinPath(folder, name);
                return result;
            }
            if (err != EEXIST) {
                result.error = err;
                break;
            }
            name = firstFreeName(folder, [&](int n) { return zelvane::archiveName(stem, n); });
            if (name.empty()) {
                result.error = EEXIST;
                break;
            }
        }
    }
    unlink(tempPath.c_str());
    return result;
}

}  // namespace zelvane
