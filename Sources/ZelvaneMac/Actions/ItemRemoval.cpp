#include "ZelvaneMac/Actions/ItemRemoval.hpp"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>

#include "Platform/FileMoves.hpp"
#include "Platform/TreeWalk.hpp"

namespace zelvane {

namespace {

class RemovalVisitor final : public TreeWalkVisitor {
public:
    RemovalVisitor(const ItemFacts& item, bool makeWritable, const std::atomic<bool>* cancelled)
        : item_(item), makeWritable_(makeWritable), cancelled_(cancelled) {}

    WalkStep visit(const WalkEntry& e) override {
        if (cancelled_ && cancelled_->load(std::memory_order_relaxed)) {
            stopped_ = true;
            return WalkStep::stop;
        }
        if (!e.facts.isDir()) {
            // Gone meanwhile (another window or program removed it first) is gone as it was to be.
            if (::unlinkat(e.folderFd, e.name.c_str(), 0) == 0 || errno == ENOENT) removedOne();
            else remains(e.relativePath, errno);
            return WalkStep::proceed;
        }
        if (e.depth > 0 && !e.facts.sameMountAs(item_)) {
            remains(e.relativePath, EXDEV);
            return WalkStep::skipContents;
        }
        if (makeWritable_ && (e.facts.mode & S_IRWXU) != S_IRWXU)
            ::fchmodat(e.folderFd, e.name.c_str(), (e.facts.mode & 07777) | S_IRWXU, 0);
        return WalkStep::proceed;
    }

    WalkStep leaveFolder(const WalkEntry& e) override {
        if (::unlinkat(e.folderFd, e.name.c_str(), AT_REMOVEDIR) == 0 || errno == ENOENT) {
            removedOne();
        } else if (errno == ENOTEMPTY || errno == EEXIST) {
            // Something inside stayed and was counted; the folder stays with it.
            ++result_.remaining;
        } else {
            remains(e.relativePath, errno);
        }
        return WalkStep::proceed;
    }

    WalkStep failed(const std::string& relativePath, int err) override {
        // A folder that went before it could be opened left nothing to remove.
        if (err != ENOENT) remains(relativePath, err);
        return WalkStep::proceed;
    }

    RemovalResult finish(int walkError) {
        // The item itself went before the walk reached it: nothing is left, and nothing failed.
        if (walkError == ENOENT && removed_ == 0 && result_.remaining == 0) walkError = 0;
        if (stopped_) {
            // What is left below was not tried: it is no failure, and not counted.
            result_.error = ECANCELED;
            result_.remaining = std::max<int64_t>(result_.remaining, 1);
            result_.removedSome = removed_ > 0;
        } else if (result_.remaining > 0) {
            result_.error = result_.firstError;
            result_.removedSome = removed_ > 0;
        } else if (walkError) {
            result_.error = walkError;
            result_.remaining = 1;
            result_.removedSome = removed_ > 0;
        }
        return result_;
    }

private:
    void removedOne() { ++removed_; }
    void remains(const std::string& relativePath, int err) {
        if (result_.remaining++ == 0) {
            result_.firstRemaining = relativePath;
            result_.firstError = err;
        }
    }

    ItemFacts item_;
    bool makeWritable_;
    const std::atomic<bool>* cancelled_;
    bool stopped_ = false;
    int64_t removed_ = 0;
    RemovalResult result_;
};

class SurveyVisitor final : public TreeWalkVisitor {
public:
    SurveyVisitor(const ItemFacts& item, const std::atomic<bool>* cancelled) : item_(item), cancelled_(cancelled) {}

    WalkStep visit(const WalkEntry& e) override {
        if (cancelled_ && cancelled_->load(std::memory_order_relaxed)) return failed(e.relativePath, ECANCELED);
        if (e.depth > 0) {
            if (e.facts.isDir() && !e.facts.sameMountAs(item_)) {
                survey.mountBelow = e.relativePath;
                return WalkStep::stop;
            }
            ++survey.items;
        }
        if (!e.facts.isDir()) survey.bytes += e.facts.size;
        return WalkStep::proceed;
    }

    WalkStep failed(const std::string& relativePath, int err) override {
        // A folder below that went meanwhile holds nothing any more.
        if (err == ENOENT && relativePath.find('/') != std::string::npos) return WalkStep::proceed;
        survey.error = err;
        survey.failedPath = relativePath;
        return WalkStep::stop;
    }

    DiskSurvey survey;

private:
    ItemFacts item_;
    const std::atomic<bool>* cancelled_;
};

}  // namespace

RemovalResult removeTreeAt(int folderFd, const std::string& name, bool makeWritable, const std::atomic<bool>* cancelled) {
    RemovalResult result;
    ItemFacts item;
    if ((result.error = readItemFacts(folderFd, name, item))) return result;
    RemovalVisitor visitor(item, makeWritable, cancelled);
    const int err = walkTree(folderFd, name, visitor);
    return visitor.finish(err);
}

RemovalResult removeItem(const std::string& path, const std::atomic<bool>* cancelled) {
    RemovalResult result;
    if (path == "/") {
        result.error = EPERM;
        return result;
    }
    ItemInFolder item;
    if ((result.error = openItemFolder(path, item))) return result;
    const MountCheck mounts = checkMounts(item, path);
    if (mounts.error) result.error = mounts.error;
    else if (mounts.isMountPoint) result.error = EBUSY;
    else if (!mounts.mountBelow.empty()) result.error = EXDEV;
    if (result.error) return result;
    return removeTreeAt(item.folder.get(), item.name, false, cancelled);
}

DiskSurvey surveyItem(const std::string& path, const std::atomic<bool>* cancelled) {
    DiskSurvey survey;
    ItemInFolder item;
    ItemFacts facts;
    if ((survey.error = openItemFolder(path, item)) || (survey.error = readItemFacts(item.folder.get(), item.name, facts))) {
        survey.failedPath = lastComponent(path);
        return survey;
    }
    SurveyVisitor visitor(facts, cancelled);
    const int err = walkTree(item.folder.get(), item.name, visitor);
    survey = visitor.survey;
    if (err && err != ECANCELED && !survey.error) {
        survey.error = err;
        survey.failedPath = item.name;
    }
    return survey;
}

}  // namespace zelvane
