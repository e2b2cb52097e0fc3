#pragma once

// Real folders for tests: a temporary folder removed with everything in it, the hostile names
// trees are made of, and child processes for what must not touch the test process (dropped
// privileges, mounts, lowered limits).

#include <filesystem>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace zelvane::testsupport {

// A fresh folder, readable by every user (so that an unprivileged child can reach it), removed
// with its whole content when the object goes: permissions are given back first, links are never
// followed, and the walk is iterative because test trees can be deeper than any stack.
class TempFolder final {
public:
    // Under `base`, or under $TMPDIR (else /tmp) when `base` is empty or not a folder.
    explicit TempFolder(std::string_view prefix = "zelvane-test", std::string_view base = {});
    ~TempFolder();
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;

    const std::string& path() const { return path_; }
    std::filesystem::path fsPath() const { return path_; }
    std::string operator/(std::string_view relative) const { return path_ + "/" + std::string(relative); }

    // Removes `path` and everything below it the same way (for trees a test takes away itself).
    static void removeTree(const std::string& path);

private:
    std::string path_;
};

// Names that break careless code: quotes, separators, line breaks, bytes that are not UTF-8,
// right-to-left text, combining marks, a leading dash and a name of 255 bytes.
const std::vector<std::string>& hostileNames();

// Runs `body` in a forked child and returns its exit status (or 128 + the signal's number).
int runInChild(const std::function<int()>& body);
// The same in a child that dropped to user and group 65534 first (when running as root).
int runUnprivileged(const std::function<int()>& body);
bool runningAsRoot();

// A path to `program` (the application, or a test program of this build) that user `uid` (with
// group `uid` and no other groups) can start with everything it loads: the program itself when
// every folder on its way and on the way to the application's bundle lets that user through, else
// `runnableCopyOf(program)`. A checkout under /root is closed to other users, so a child that drops
// privileges would fail to start it or to load its libraries. Empty when neither works, with the
// reason in `why`.
std::string programRunnableBy(unsigned uid, const std::string& program, std::string* why = nullptr);
// A copy of `program` that user `uid` can start, in a folder of its own under $TMPDIR (or /tmp)
// that lasts as long as the test process: the application's whole bundle (the program, its shared
// libraries in lib/, its prompt and string tables in Resources/), and a test program at the same
// place relative to the bundle as in the build, for each finds its libraries by a path relative to
// itself. Empty when it cannot be made there, with the reason in `why`.
std::string runnableCopyOf(unsigned uid, const std::string& program, std::string* why = nullptr);

// Points the sanitizer options of this process's environment (ASAN_OPTIONS, LSAN_OPTIONS,
// TSAN_OPTIONS, UBSAN_OPTIONS) at suppression files that user `uid` can read: a file it cannot
// (the checkout's own, under /root) is replaced by a copy in a folder every user can enter, made
// once for the test process. A program started by a child that dropped to `uid` reads these files
// first thing and stops at once when it cannot. Call it before the fork; this process has read its
// own files already.
void shareSanitizerSuppressionsWith(unsigned uid);

}  // namespace zelvane::testsupport
