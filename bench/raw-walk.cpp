// The floor for every scanner: N threads sharing a stack of open folders, each listing a folder
// with getdents64 and calling statx once per entry, nothing else. Stays on the root's device.
//   raw-walk [--workers N] PATH   ->   files=F dirs=D bytes=B seconds=S

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <charconv>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace {

struct Stack {
    std::mutex m;
    std::condition_variable cv;
    std::vector<int> fds;
    int busy = 0;
    bool pop(int& fd) {
        std::unique_lock l(m);
        while (fds.empty()) {
            if (busy == 0) {
                cv.notify_all();
                return false;
            }
            cv.wait(l);
        }
        fd = fds.back();
        fds.pop_back();
        ++busy;
        return true;
    }
    void done(std::vector<int>& found) {
        {
            std::lock_guard l(m);
            fds.insert(fds.end(), found.begin(), found.end());
            --busy;
        }
        cv.notify_all();
        found.clear();
    }
};

struct Dirent64 {
    uint64_t ino;
    int64_t off;
    unsigned short reclen;
    unsigned char type;
    char name[1];
};

}  // namespace

int main(int argc, char** argv) {
    int workers = 8;
    const char* root = nullptr;
    for (int i = 1; i < argc; ++i) {
        if (!std::strcmp(argv[i], "--workers") && i + 1 < argc)
            std::from_chars(argv[i + 1], argv[i + 1] + std::strlen(argv[i + 1]), workers), ++i;
        else
            root = argv[i];
    }
    if (!root) {
        std::fputs("usage: raw-walk [--workers N] PATH\n", stderr);
        return 2;
    }
    auto t0 = std::chrono::steady_clock::now();
    struct statx rst;
    if (statx(AT_FDCWD, root, 0, STATX_BASIC_STATS, &rst) != 0) return 1;
    Stack stack;
    stack.fds.push_back(open(root, O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    std::mutex totalsLock;
    long long files = 0, dirs = 0, bytes = 0;
    auto work = [&] {
        std::vector<char> buf(64 * 1024);
        std::vector<int> found;
        long long f = 0, d = 0, b = 0;
        int fd;
        while (stack.pop(fd)) {
            for (;;) {
                long n = syscall(SYS_getdents64, fd, buf.data(), buf.size());
                if (n <= 0) break;
                for (long pos = 0; pos < n;) {
                    auto* e = reinterpret_cast<Dirent64*>(buf.data() + pos);
                    pos += e->reclen;
                    const char* nm = e->name;
                    if (nm[0] == '.' && (nm[1] == 0 || (nm[1] == '.' && nm[2] == 0))) continue;
                    struct statx sx;
                    if (statx(fd, nm, AT_SYMLINK_NOFOLLOW | AT_STATX_DONT_SYNC | AT_NO_AUTOMOUNT,
                              STATX_TYPE | STATX_SIZE | STATX_BLOCKS | STATX_INO | STATX_MTIME | STATX_ATIME | STATX_NLINK,
                              &sx) != 0)
                        continue;
                    if (S_ISDIR(sx.stx_mode)) {
                        ++d;
                        if (sx.stx_dev_major != rst.stx_dev_major || sx.stx_dev_minor != rst.stx_dev_minor) continue;
                        int c = openat(fd, nm, O_RDONLY | O_DIRECTORY | O_CLOEXEC | O_NOFOLLOW);
                        if (c >= 0) found.push_back(c);
                    } else {
                        ++f;
                        b += (long long)sx.stx_size;
                    }
                }
            }
            close(fd);
            stack.done(found);
        }
        std::lock_guard l(totalsLock);
        files += f;
        dirs += d;
        bytes += b;
    };
    std::vector<std::thread> threads;
    for (int i = 1; i < workers; ++i) threads.emplace_back(work);
    work();
    for (auto& t : threads) t.join();
    double secs = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
    char s[32];
    auto r = std::to_chars(s, s + sizeof s, secs, std::chars_format::fixed, 3);
    std::printf("files=%lld dirs=%lld bytes=%lld seconds=%.*s\n", files, dirs, bytes, int(r.ptr - s), s);
    return 0;
}
