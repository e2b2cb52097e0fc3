#include "ZelvaneMac/Actions/ItemArchive.hpp"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <zip.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <deque>
#include <memory>

#include "Platform/FileDescriptor.hpp"
#include "Platform/FileMoves.hpp"
#include "Platform/ItemAccess.hpp"
#include "Platform/TreeWalk.hpp"
#include "ZelvaneMac/Actions/FileNaming.hpp"

namespace zelvane {

namespace {

// What an archive's file entries read when the archive is written: each opens its file by its
// path below the item's folder (of any length) only then, so the descriptors in use stay few
// however many files the archive holds.
struct ArchivedFile {
    int baseFd;
    std::string relativePath;
    int64_t size;
    struct timespec modified;
    const std::atomic<bool>* cancelled;
    const CopyWatch* watch;
    int* firstError;
    std::string* failedPath;
    FileDescriptor fd;
    zip_error_t error;
    int64_t read = 0;

    zip_int64_t fail(int err) {
        if (!*firstError) {
            *firstError = err;
            *failedPath = relativePath;
        }
        zip_error_set(&error, ZIP_ER_READ, err);
        return -1;
    }

    int open() {
        const size_t slash = relativePath.rfind('/');
        FileDescriptor folder;
        int at = baseFd;
        if (slash != std::string::npos) {
            if (int err = openFolderAt(baseFd, std::string_view(relativePath).substr(0, slash), folder)) return err;
            at = folder.get();
        }
        const std::string name = slash == std::string::npos ? relativePath : relativePath.substr(slash + 1);
        fd.reset(::openat(at, name.c_str(), O_RDONLY | O_NOFOLLOW | O_NOCTTY | O_CLOEXEC));
        return fd ? 0 : errno;
    }

    // At the end of the data: the file held the length it had when the walk met it, and was not
    // written meanwhile (its length and date are those the walk read). Otherwise the archive would
    // hold part of what it was and part of what it is.
    bool endsAsItWas() const {
        struct stat now {};
        return read == size && ::fstat(fd.get(), &now) == 0 && now.st_size == size &&
               now.st_mtim.tv_sec == modified.tv_sec && now.st_mtim.tv_nsec == modified.tv_nsec;
    }

    static zip_int64_t callback(void* userdata, void* data, zip_uint64_t length, zip_source_cmd_t command) {
        auto* self = static_cast<ArchivedFile*>(userdata);
        switch (command) {
        case ZIP_SOURCE_OPEN:
            if (int err = self->open()) return self->fail(err);
            return 0;
        case ZIP_SOURCE_READ: {
            if (self->cancelled && self->cancelled->load(std::memory_order_relaxed)) return self->fail(ECANCELED);
            for (;;) {
                const ssize_t n = ::read(self->fd.get(), data, size_t(length));
                if (n < 0 && errno == EINTR) continue;
                if (n < 0) return self->fail(errno);
                if (n == 0) return self->endsAsItWas() ? 0 : self->fail(kArchiveSourceChangedError);
                self->read += n;
                // Grown meanwhile: what is archived is no longer what it was, nor what it will be.
                if (self->read > self->size) return self->fail(kArchiveSourceChangedError);
                if (self->watch && *self->watch) (*self->watch)(self->relativePath, self->read);
                return n;
            }
        }
        case ZIP_SOURCE_CLOSE:
            self->fd.reset();
            return 0;
        case ZIP_SOURCE_STAT: {
            auto* st = static_cast<zip_stat_t*>(data);
            zip_stat_init(st);
            st->size = zip_uint64_t(self->size);
            st->mtime = self->modified.tv_sec;
            st->valid = ZIP_STAT_SIZE | ZIP_STAT_MTIME;
            return sizeof(zip_stat_t);
        }
        case ZIP_SOURCE_ERROR:
            return zip_error_to_data(&self->error, data, length);
        case ZIP_SOURCE_FREE:
            zip_error_fini(&self->error);
            delete self;
            return 0;
        case ZIP_SOURCE_SUPPORTS:
            return zip_source_make_command_bitmap(ZIP_SOURCE_OPEN, ZIP_SOURCE_READ, ZIP_SOURCE_CLOSE, ZIP_SOURCE_STAT,
                                                  ZIP_SOURCE_ERROR, ZIP_SOURCE_FREE, -1);
        default:
            zip_error_set(&self->error, ZIP_ER_OPNOTSUPP, 0);
            return -1;
        }
    }
};

// An archive being written; discarded (its temporary file removed) unless closed successfully.
class ZipWriter final : public TreeWalkVisitor {
public:
    // `shown` is a folder of the file system whose contents are archived.
    ZipWriter(zip_t* archive, int baseFd, const ItemFacts& shown, const std::atomic<bool>* cancelled,
              const CopyWatch* watch)
        : archive_(archive), baseFd_(baseFd), shown_(shown), cancelled_(cancelled), watch_(watch) {}
    ~ZipWriter() override { if (archive_) zip_discard(archive_); }
    ZipWriter(const ZipWriter&) = delete;
    ZipWriter& operator=(const ZipWriter&) = delete;

    WalkStep visit(const WalkEntry& e) override {
        if (cancelled_ && cancelled_->load(std::memory_order_relaxed)) return fail(e.relativePath, ECANCELED);
        const ItemFacts& st = e.facts;
        zip_int64_t index = -1;
        bool skipContents = false;
        if (st.isDir()) {
            index = zip_dir_add(archive_, e.relativePath.c_str(), ZIP_FL_ENC_GUESS);
            skipContents = !st.sameMountAs(shown_);
        } else if (st.isRegular()) {
            auto* file = new ArchivedFile{baseFd_, e.relativePath, st.size, st.modified, cancelled_, watch_,
                                          &failure.error, &failure.path, FileDescriptor(), {}};
            zip_error_init(&file->error);
            zip_source_t* source = zip_source_function(archive_, &ArchivedFile::callback, file);
            if (!source) {
                zip_error_fini(&file->error);
                delete file;
                return fail(e.relativePath, EIO);
            }
            index = zip_file_add(archive_, e.relativePath.c_str(), source, ZIP_FL_ENC_GUESS);
            if (index < 0) zip_source_free(source);
        } else if (st.isLink()) {
            std::string target(size_t(st.size > 0 ? st.size : 255) + 1, '\0');
            const ssize_t n = ::readlinkat(e.folderFd, e.name.c_str(), target.data(), target.size());
            if (n < 0) return fail(e.relativePath, errno);
            target.resize(size_t(n));
            const std::string& kept = linkTargets_.emplace_back(std::move(target));
            zip_source_t* source = zip_source_buffer(archive_, kept.data(), kept.size(), 0);
            if (!source) return fail(e.relativePath, EIO);
            index = zip_file_add(archive_, e.relativePath.c_str(), source, ZIP_FL_ENC_GUESS);
            if (index < 0) zip_source_free(source);
        } else {
            return WalkStep::proceed;
        }
        if (index < 0) return fail(e.relativePath, EIO);
        zip_file_set_external_attributes(archive_, zip_uint64_t(index), 0, ZIP_OPSYS_UNIX, zip_uint32_t(st.mode & 0xFFFF) << 16);
        zip_file_set_mtime(archive_, zip_uint64_t(index), st.modified.tv_sec, 0);
        return skipContents ? WalkStep::skipContents : WalkStep::proceed;
    }

    WalkStep failed(const std::string& relativePath, int err) override { return fail(relativePath, err); }

    int close() {
        const int rc = zip_close(archive_);
        if (rc != 0) return failure.error ? failure.error : EIO;
        archive_ = nullptr;
        return 0;
    }

    FirstWalkFailure failure;

private:
    WalkStep fail(const std::string& relativePath, int err) { return failure.record(relativePath, err); }

    zip_t* archive_;
    int baseFd_;
    ItemFacts shown_;
    const std::atomic<bool>* cancelled_;
    const CopyWatch* watch_;
    std::deque<std::string> linkTargets_;  // buffers libzip reads when the archive is closed
};

int writeArchive(int folderFd, const std::string& itemName, const std::string& tempName, ShownFileSystem shown,
                 const std::atomic<bool>* cancelled, const CopyWatch* watch, std::string& failedPath) {
    ItemFacts top;
    ItemFacts shownFolder;
    if (int err = readItemFacts(folderFd, itemName, top)) return err;
    if (!top.isDir() && !top.isRegular() && !top.isLink()) return ENOTSUP;
    if (shown == ShownFileSystem::item) shownFolder = top;
    else if (int err = readItemFacts(folderFd, "", shownFolder)) return err;
    int zerr = 0;
    zip_t* archive = zip_open(pathThroughDescriptor(folderFd, tempName).c_str(), ZIP_TRUNCATE, &zerr);
    if (!archive) return EIO;
    ZipWriter writer(archive, folderFd, shownFolder, cancelled, watch);
    const int walked = walkTree(folderFd, itemName, writer);
    if (writer.failure.error) {
        failedPath = writer.failure.path;
        return writer.failure.error;
    }
    if (walked) return walked;
    const int err = writer.close();
    if (err) failedPath = writer.failure.path.empty() ? itemName : writer.failure.path;
    return err;
}

}  // namespace

MadeItem compressToZip(const std::string& itemPath, const std::string& stem, const std::string& archiveName,
                       const std::atomic<bool>* cancelled, ShownFileSystem shown, const CopyWatch* watch) {
    MadeItem result;
    ItemInFolder item;
    if ((result.error = openItemFolder(itemPath, item))) {
        result.failedPath = lastComponent(itemPath);
        return result;
    }
    const int folder = item.folder.get();
    // A new file of the user's: the umask decides its mode, as for any file the user makes.
    std::string tempName;
    for (int attempt = 0; attempt < 100 && tempName.empty(); ++attempt) {
        const uint64_t stamp = uint64_t(std::chrono::steady_clock::now().time_since_epoch().count()) + uint64_t(attempt);
        std::string candidate = "." + stem.substr(0, 180) + ".zip-" + std::to_string(stamp % 100000000);
        FileDescriptor fd(::openat(folder, candidate.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666));
        if (fd) tempName = std::move(candidate);
        else if (errno != EEXIST) {
            result.error = errno;
            result.failedPath = item.name;
            return result;
        }
    }
    if (tempName.empty()) {
        result.error = EEXIST;
        return result;
    }
    result.error = writeArchive(folder, item.name, tempName, shown, cancelled, watch, result.failedPath);
    if (!result.error) {
        std::string name = archiveName;
        for (int attempt = 0; attempt < 1000; ++attempt) {
            const int err = renameNoReplace(folder, tempName, folder, name);
            if (err == 0) {
                result.madePath = joinPath(parentPath(itemPath), name);
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
        if (result.failedPath.empty()) result.failedPath = item.name;
    }
    ::unlinkat(folder, tempName.c_str(), 0);
    return result;
}

}  // namespace zelvane
