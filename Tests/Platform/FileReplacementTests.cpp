#include <gtest/gtest.h>

#include "Platform/FileReplacement.hpp"
#include "FileContents.hpp"
#include "TempFolder.hpp"

#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include <grp.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace zelvane;
namespace fs = std::filesystem;

namespace {

// The folder's path as a file-system path, for listing it.
class Folder {
public:
    std::string operator/(const std::string& name) const { return folder_ / name; }
    std::filesystem::path path() const { return folder_.fsPath(); }

private:
    zelvane::testsupport::TempFolder folder_{"zelvane-replace"};
};

std::string readAll(const std::string& p) { return zelvane::testsupport::readFile(p); }

size_t entryCount(const fs::path& dir) {
    return size_t(std::distance(fs::directory_iterator(dir), fs::directory_iterator()));
}

TEST(ReplaceFileContents, NewFilesReplacedFilesLinksAndDevices) {
    Folder dir;
    const std::string target = dir / "out.txt";
    ASSERT_EQ(replaceFileContents(target, "first version, longer than the second"), 0);
    EXPECT_EQ(readAll(target), "first version, longer than the second");

    // Replacing keeps the permission bits the user gave the file.
    ASSERT_EQ(::chmod(target.c_str(), 0640), 0);
    ASSERT_EQ(replaceFileContents(target, "second"), 0);
    EXPECT_EQ(readAll(target), "second");
    struct stat st {};
    ASSERT_EQ(::stat(target.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0640u);

    // A symbolic link stays a link; the file it leads to gets the bytes.
    const std::string link = dir / "link.txt";
    fs::create_symlink(target, link);
    ASSERT_EQ(replaceFileContents(link, "through the link"), 0);
    EXPECT_TRUE(fs::is_symlink(link));
    EXPECT_EQ(readAll(target), "through the link");

    // A device is written in place, never replaced by a regular file.
    EXPECT_EQ(replaceFileContents("/dev/null", "discarded"), 0);
    EXPECT_TRUE(fs::is_character_file("/dev/null"));

    // Binary content with zero bytes comes back exactly; an empty content gives an empty file.
    const std::string binary("a\0b\0\xff", 5);
    ASSERT_EQ(replaceFileContents(target, binary), 0);
    EXPECT_EQ(readAll(target), binary);
    ASSERT_EQ(replaceFileContents(target, ""), 0);
    EXPECT_EQ(fs::file_size(target), 0u);

    EXPECT_EQ(entryCount(dir.path()), 2u);  // no temporary file left behind
}

TEST(ReplaceFileContents, FailuresReportTheReasonAndKeepTheEarlierFile) {
    Folder dir;
    EXPECT_EQ(replaceFileContents(dir / "missing/out.txt", "x"), ENOENT);
    EXPECT_EQ(replaceFileContents(dir.path().string(), "x"), EISDIR);
    EXPECT_EQ(replaceFileContents("", "x"), ENOENT);

    // A folder the writer may not add to: the temporary file cannot be made, and the earlier file
    // (still writable in place) must come through untouched. Root may write anywhere, so a child
    // drops to an unprivileged user first.
    const fs::path locked = dir.path() / "locked";
    fs::create_directory(locked);
    const std::string target = (locked / "good.csv").string();
    { std::ofstream(target) << "earlier good export\n"; }
    ASSERT_EQ(::chmod(target.c_str(), 0666), 0);
    ASSERT_EQ(::chmod(locked.c_str(), 0555), 0);
    ASSERT_EQ(::chmod(dir.path().c_str(), 0755), 0);

    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        if (::geteuid() == 0 &&
            (::setgroups(0, nullptr) != 0 || ::setresgid(65534, 65534, 65534) != 0 || ::setresuid(65534, 65534, 65534) != 0))
            ::_exit(90);
        ::_exit(replaceFileContents(target, "half") == EACCES ? 0 : 1);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0);
    EXPECT_EQ(readAll(target), "earlier good export\n");
    EXPECT_EQ(entryCount(locked), 1u);
}

// A folder the user may write to, holding files the user may not write: the rename would succeed,
// but the shell's "> file" would not, and neither may the export. A file of the user's own that is
// read-only is refused the same way; a writable one is replaced.
TEST(ReplaceFileContents, FilesTheUserMayNotWriteAreRefusedLikeTheShellWould) {
    Folder dir;
    ASSERT_EQ(::chmod(dir.path().c_str(), 0777), 0);
    const std::string othersFile = dir / "root-owned.csv";
    { std::ofstream(othersFile) << "another user's file\n"; }
    ASSERT_EQ(::chmod(othersFile.c_str(), 0644), 0);
    const std::string readOnly = dir / "read-only.csv";
    const std::string writable = dir / "writable.csv";

    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        if (::geteuid() == 0 &&
            (::setgroups(0, nullptr) != 0 || ::setresgid(65534, 65534, 65534) != 0 || ::setresuid(65534, 65534, 65534) != 0))
            ::_exit(90);
        if (replaceFileContents(writable, "mine") != 0 || replaceFileContents(readOnly, "first") != 0) ::_exit(91);
        if (::chmod(readOnly.c_str(), 0444) != 0) ::_exit(92);
        int failures = 0;
        if (replaceFileContents(othersFile, "taken over") != EACCES) failures |= 1;
        if (replaceFileContents(readOnly, "second") != EACCES) failures |= 2;
        if (replaceFileContents(writable, "mine again") != 0) failures |= 4;
        ::_exit(failures);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0);
    EXPECT_EQ(readAll(othersFile), "another user's file\n");
    EXPECT_EQ(readAll(readOnly), "first");
    EXPECT_EQ(readAll(writable), "mine again");
    EXPECT_EQ(entryCount(dir.path()), 3u);
}

// The streaming form: pieces written one after the other replace the file only on commit; an
// abandoned or failing replacement leaves the earlier file and no temporary file behind.
TEST(ReplacementFile, StreamsPiecesAndReplacesOnlyOnCommit) {
    Folder dir;
    const std::string target = dir / "export.csv";
    { std::ofstream(target) << "earlier\n"; }
    {
        ReplacementFile file;
        ASSERT_EQ(file.open(target), 0);
        ASSERT_EQ(file.write("one,"), 0);
        ASSERT_EQ(file.write("two\n"), 0);
        EXPECT_EQ(readAll(target), "earlier\n");
        EXPECT_EQ(entryCount(dir.path()), 2u);  // the temporary file beside the target
    }
    EXPECT_EQ(readAll(target), "earlier\n");
    EXPECT_EQ(entryCount(dir.path()), 1u);

    ReplacementFile file;
    EXPECT_EQ(file.write("too early"), EBADF);
    EXPECT_EQ(file.commit(), EBADF);
    ASSERT_EQ(file.open(target), 0);
    EXPECT_EQ(file.open(target), EBUSY);
    std::string big(3 << 20, 'x');
    ASSERT_EQ(file.write(big), 0);
    ASSERT_EQ(file.write("end"), 0);
    ASSERT_EQ(file.commit(), 0);
    EXPECT_EQ(readAll(target), big + "end");
    EXPECT_EQ(file.commit(), EBADF);
    EXPECT_EQ(entryCount(dir.path()), 1u);

    // A write the system refuses part-way (here the file-size limit of a child process).
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        ::signal(SIGXFSZ, SIG_IGN);
        rlimit limit{4096, 4096};
        if (::setrlimit(RLIMIT_FSIZE, &limit) != 0) ::_exit(90);
        int err = 0;
        {
            ReplacementFile failing;
            if (failing.open(target) != 0) ::_exit(91);
            for (int i = 0; i < 10 && !err; ++i) err = failing.write(std::string(1000, 'y'));
        }
        ::_exit(err == EFBIG ? 0 : 1);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0);
    EXPECT_EQ(readAll(target), big + "end");
    EXPECT_EQ(entryCount(dir.path()), 1u);
}

}  // namespace
