#include "TempFolder.hpp"

#include <dirent.h>
#include <grp.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <system_error>
#include <stdexcept>
#include <utility>

namespace zelvane::testsupport {
namespace {

bool isFolder(const std::string& path) {
    struct stat st {};
    return !path.empty() && ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

}  // namespace

TempFolder::TempFolder(std::string_view prefix, std::string_view base) {
    std::string parent(base);
    if (!isFolder(parent)) {
        const char* tmp = std::getenv("TMPDIR");
        parent = tmp && isFolder(tmp) ? tmp : "/tmp";
    }
    std::string templ = parent + "/" + std::string(prefix) + "-XXXXXX";
    if (!::mkdtemp(templ.data())) throw std::runtime_error("mkdtemp failed under " + parent);
    path_ = std::move(templ);
    ::chmod(path_.c_str(), 0755);
}

TempFolder::~TempFolder() { removeTree(path_); }

void TempFolder::removeTree(const std::string& root) {
    // Each folder is visited twice: first to open it up and queue its entries, then (once they
    // are gone) to remove it.
    std::vector<std::pair<std::string, bool>> stack{{root, false}};
    while (!stack.empty()) {
        auto [path, emptied] = std::move(stack.back());
        stack.pop_back();
        struct stat st {};
        if (::lstat(path.c_str(), &st) != 0) continue;
        if (!S_ISDIR(st.st_mode)) {
            ::unlink(path.c_str());
            continue;
        }
        if (emptied) {
            ::rmdir(path.c_str());
            continue;
        }
        ::chmod(path.c_str(), 0700);
        stack.emplace_back(path, true);
        if (DIR* d = ::opendir(path.c_str())) {
            while (const dirent* e = ::readdir(d)) {
                const std::string_view name = e->d_name;
                if (name == "." || name == "..") continue;
                stack.emplace_back(path + "/" + std::string(name), false);
            }
            ::closedir(d);
        }
    }
}

const std::vector<std::string>& hostileNames() {
    static const std::vector<std::string> names = {
        "say \"hi\", friend",        // quotes and a comma
        "line\nbreak\tand tab",      // control characters
        "bad-\xff\xfe-utf8",         // bytes that are not UTF-8
        "\xd7\xa9\xd7\x9c\xd7\x95\xd7\x9d.txt",  // right-to-left text
        "Cafe\xcc\x81 and caf\xc3\xa9",          // combining and precomposed accents
        "-starts-with-dash",
        "back\\slash and %d %t",
        std::string(255, 'n'),       // the longest name a folder may hold
    };
    return names;
}

int runInChild(const std::function<int()>& body) {
    std::fflush(nullptr);
    const pid_t pid = ::fork();
    if (pid < 0) return -1;
    if (pid == 0) {
        int rc = 99;
        try {
            rc = body();
        } catch (...) {
            rc = 98;
        }
        std::fflush(nullptr);
        ::_exit(rc);
    }
    int status = 0;
    ::waitpid(pid, &status, 0);
    if (WIFEXITED(status)) return WEXITSTATUS(status);
    return 128 + WTERMSIG(status);
}

bool runningAsRoot() { return ::geteuid() == 0; }

int runUnprivileged(const std::function<int()>& body) {
    return runInChild([&] {
        if (::geteuid() == 0 &&
            (::setgroups(0, nullptr) != 0 || ::setresgid(65534, 65534, 65534) != 0 || ::setresuid(65534, 65534, 65534) != 0))
            return 97;
        return body();
    });
}

namespace {

// Whether `uid` (its group being `uid` too) may search or run `path` and every folder above it
// (with `lastBits` the file itself is asked for those bits instead: S_IROTH to read it).
bool reachableBy(unsigned uid, const std::string& path, mode_t lastBits = S_IXOTH) {
    std::string at = path;
    while (!at.empty()) {
        struct stat st {};
        if (::stat(at.c_str(), &st) != 0) return false;
        const mode_t other = at == path ? lastBits : S_IXOTH;
        const mode_t bit = st.st_uid == uid ? other << 6 : st.st_gid == uid ? other << 3 : other;
        if (!(st.st_mode & bit)) return false;
        if (at == "/") break;
        const size_t slash = at.find_last_of('/');
        at = slash == 0 ? "/" : at.substr(0, slash);
    }
    return true;
}

// The build's application bundle, by the path the kernel gives a running program, and the folder
// it lies in; every program of the build lies there.
struct BuildFolders {
    std::string bundle;
    std::string build;
};
const BuildFolders& buildFolders() {
    static const BuildFolders folders = [] {
        std::error_code error;
        const std::filesystem::path bundle = std::filesystem::weakly_canonical(ZELVANE_BUNDLE, error);
        return BuildFolders{bundle.string(), bundle.parent_path().string()};
    }();
    return folders;
}

bool isUnder(const std::string& path, const std::string& folder) {
    return path.size() > folder.size() && path.compare(0, folder.size(), folder) == 0 && path[folder.size()] == '/';
}

// `from` as `to` for every user: a hard link where the file lets every user read it (and run it,
// when its owner may), else a copy that does; folders are made anew, links copied as links.
std::error_code shareTree(const std::filesystem::path& from, const std::filesystem::path& to) {
    namespace fs = std::filesystem;
    std::error_code error;
    const auto shareFile = [&](const fs::path& source, const fs::path& target) {
        struct stat st {};
        if (::stat(source.c_str(), &st) != 0) return std::error_code(errno, std::generic_category());
        const bool runs = (st.st_mode & S_IXUSR) != 0;
        const bool open = (st.st_mode & S_IROTH) && (!runs || (st.st_mode & S_IXOTH));
        std::error_code e;
        if (open) {
            fs::create_hard_link(source, target, e);
            if (!e) return e;
        }
        fs::copy_file(source, target, e);
        if (!e) fs::permissions(target, fs::perms(runs ? 0755 : 0644), e);
        return e;
    };
    if (!fs::is_directory(from, error)) return error ? error : shareFile(from, to);
    fs::create_directories(to, error);
    if (!error) fs::permissions(to, fs::perms(0755), error);
    for (auto it = fs::recursive_directory_iterator(from, error); !error && it != fs::recursive_directory_iterator();
         it.increment(error)) {
        const fs::path target = to / fs::relative(it->path(), from);
        if (it->is_symlink(error)) fs::copy_symlink(it->path(), target, error);
        else if (it->is_directory(error)) {
            fs::create_directory(target, error);
            if (!error) fs::permissions(target, fs::perms(0755), error);
        } else if (!error) error = shareFile(it->path(), target);
    }
    return error;
}

}  // namespace

std::string runnableCopyOf(unsigned uid, const std::string& named, std::string* why) {
    const auto fail = [&](const std::string& reason) {
        if (why) *why = reason;
        return std::string();
    };
    const std::string& bundle = buildFolders().bundle;
    const std::string& build = buildFolders().build;
    std::error_code unknown;
    const std::string program = std::filesystem::weakly_canonical(named, unknown).string();
    if (!isUnder(program, build)) return fail("the program \"" + named + "\" is not one of the build in " + build);
    // One copy of the bundle for the whole test process, with each test program beside it.
    static std::unique_ptr<TempFolder> folder;
    static std::vector<std::string> copied;
    if (!folder) {
        folder = std::make_unique<TempFolder>("zelvane-program");
        if (const std::error_code e = shareTree(bundle, folder->path() + bundle.substr(build.size()))) {
            folder.reset();
            return fail("copying " + bundle + " to a folder of its own failed: " + e.message());
        }
    }
    const std::string copy = folder->path() + program.substr(build.size());
    if (!isUnder(program, bundle) && std::find(copied.begin(), copied.end(), program) == copied.end()) {
        std::error_code e;
        const std::filesystem::path place = std::filesystem::path(copy).parent_path();
        std::filesystem::create_directories(place, e);
        for (std::filesystem::path p = place; !e && p.string().size() > folder->path().size(); p = p.parent_path())
            std::filesystem::permissions(p, std::filesystem::perms(0755), e);
        if (!e) e = shareTree(program, copy);
        if (e) return fail("copying " + program + " to " + copy + " failed: " + e.message());
        copied.push_back(program);
    }
    if (!reachableBy(uid, copy) || !reachableBy(uid, folder->path() + bundle.substr(build.size()) + "/lib"))
        return fail("user " + std::to_string(uid) + " cannot reach the copy in " + folder->path() +
                    " (set TMPDIR to a folder every user can enter)");
    return copy;
}

std::string programRunnableBy(unsigned uid, const std::string& program, std::string* why) {
    if (program.empty() || program.front() != '/') {
        if (why) *why = "the program \"" + program + "\" is not named by an absolute path";
        return {};
    }
    if (reachableBy(uid, program) && reachableBy(uid, buildFolders().bundle + "/lib")) return program;
    return runnableCopyOf(uid, program, why);
}

void shareSanitizerSuppressionsWith(unsigned uid) {
    // One readable copy per file for the whole test process.
    static std::vector<std::pair<std::string, std::string>> copies;
    static std::unique_ptr<TempFolder> folder;
    const auto readableCopy = [&](const std::string& file) -> std::string {
        if (reachableBy(uid, file, S_IROTH)) return file;
        for (const auto& [original, copy] : copies)
            if (original == file) return copy;
        if (!folder) folder = std::make_unique<TempFolder>("zelvane-suppressions");
        const std::string copy = folder->path() + "/" + std::to_string(copies.size()) + ".supp";
        std::error_code error;
        std::filesystem::copy_file(file, copy, error);
        if (!error) std::filesystem::permissions(copy, std::filesystem::perms(0644), error);
        if (error) return file;  // the child will say what it cannot read
        copies.emplace_back(file, copy);
        return copy;
    };
    for (const char* name : {"ASAN_OPTIONS", "LSAN_OPTIONS", "TSAN_OPTIONS", "UBSAN_OPTIONS"}) {
        const char* value = std::getenv(name);
        if (!value) continue;
        // Options are separated by ':' or white space; the file runs to the next separator.
        std::string options(value);
        static constexpr std::string_view key = "suppressions=";
        for (size_t at = 0; (at = options.find(key, at)) != std::string::npos;) {
            if (at > 0 && options[at - 1] != ':' && options[at - 1] != ' ' && options[at - 1] != '\t') {
                at += key.size();
                continue;
            }
            const size_t from = at + key.size();
            const size_t to = std::min(options.find_first_of(": \t", from), options.size());
            const std::string file = options.substr(from, to - from);
            const std::string shared = file.empty() ? file : readableCopy(file);
            options.replace(from, to - from, shared);
            at = from + shared.size();
        }
        ::setenv(name, options.c_str(), 1);
    }
}

}  // namespace zelvane::testsupport
