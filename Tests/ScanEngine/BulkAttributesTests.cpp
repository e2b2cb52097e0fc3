#include <fcntl.h>
#include <gtest/gtest.h>
#include <sched.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "Platform/BulkAttributes.hpp"
#include "ScanEngine/Scan/BulkRecord.hpp"
#include "Platform/FileSystemInfo.hpp"
#include "Platform/SandboxAccess.hpp"
#include "TestTree.hpp"

using namespace zelvane;
using zelvane::test::TempTree;

namespace {

attrlist fullRequest() {
    attrlist a;
    a.commonattr = ATTR_CMN_RETURNED_ATTRS | ATTR_CMN_NAME | ATTR_CMN_DEVID | ATTR_CMN_OBJTYPE | ATTR_CMN_CRTIME |
                   ATTR_CMN_MODTIME | ATTR_CMN_ACCTIME | ATTR_CMN_FLAGS | ATTR_CMN_FILEID;
    a.fileattr = ATTR_FILE_LINKCOUNT | ATTR_FILE_TOTALSIZE | ATTR_FILE_ALLOCSIZE;
    a.forkattr = ATTR_CMNEXT_CLONEID;
    return a;
}

// Every record of a folder, read to the end with buffers of `bufSize` bytes.
std::map<std::string, BulkRecord> readAll(const std::string& dir, size_t bufSize, const attrlist& req,
                                          int* calls = nullptr) {
    int fd = ::open(dir.c_str(), O_RDONLY | O_DIRECTORY);
    EXPECT_GE(fd, 0);
    std::map<std::string, BulkRecord> out;
    static thread_local std::vector<std::vector<std::byte>> buffers;  // names point into them
    buffers.clear();
    for (;;) {
        buffers.emplace_back(bufSize);
        auto& buf = buffers.back();
        int n = getattrlistbulk(fd, &req, buf.data(), buf.size(), FSOPT_ATTR_CMN_EXTENDED);
        if (calls) ++*calls;
        EXPECT_GE(n, 0) << std::strerror(errno);
        if (n <= 0) break;
        size_t off = 0;
        for (int i = 0; i < n; ++i) {
            BulkRecord r;
            size_t len = readBulkRecord({buf.data() + off, buf.size() - off}, r);
            EXPECT_GT(len, 0u);
            if (len == 0) break;
            off += len;
            EXPECT_TRUE(out.emplace(std::string(r.name), r).second) << "entry returned twice: " << r.name;
        }
    }
    ::close(fd);
    return out;
}

}  // namespace

TEST(BulkAttributes, RecordsCarryWhatStatSays) {
    TempTree t;
    t.file("plain", 5000);
    t.file(".hidden", 0);
    t.dir("sub");
    t.hardlink("plain", "link2");
    t.symlink("plain", "sym");
    ::mkfifo(t.at("fifo").c_str(), 0644);

    auto recs = readAll(t.path(), 1 << 20, fullRequest());
    ASSERT_EQ(recs.size(), 6u);  // no "." or ".."
    struct stat st;
    ASSERT_EQ(::lstat(t.at("plain").c_str(), &st), 0);
    const BulkRecord& p = recs.at("plain");
    EXPECT_EQ(p.objType, kObjTypeRegular);
    EXPECT_EQ(p.totalSize, 5000);
    EXPECT_EQ(p.allocSize, int64_t(st.st_blocks) * 512);
    EXPECT_EQ(p.fileID, st.st_ino);
    EXPECT_EQ(p.devID, st.st_dev);
    EXPECT_EQ(p.linkCount, 2u);
    EXPECT_EQ(p.modtime.tv_sec, st.st_mtim.tv_sec);
    EXPECT_EQ(p.modtime.tv_nsec, st.st_mtim.tv_nsec);
    EXPECT_EQ(p.acctime.tv_sec, st.st_atim.tv_sec);
    EXPECT_FALSE(p.hasCloneID);
    EXPECT_EQ(p.flags & UF_HIDDEN, 0u);
    EXPECT_EQ(recs.at(".hidden").flags & UF_HIDDEN, UF_HIDDEN);

    const BulkRecord& d = recs.at("sub");
    EXPECT_TRUE(d.isDir());
    EXPECT_FALSE(d.hasTotalSize);  // file attributes never come with folders
    EXPECT_EQ(d.linkCount, 0u);

    const BulkRecord& s = recs.at("sym");
    EXPECT_EQ(s.objType, kObjTypeLink);  // not followed
    EXPECT_EQ(s.totalSize, 5);            // the length of the link text
    EXPECT_EQ(recs.at("fifo").objType, kObjTypeFifo);
}

TEST(BulkAttributes, SmallBuffersReturnEveryEntryOnce) {
    TempTree t;
    for (int i = 0; i < 3000; ++i) {
        std::string name(1, 'f');
        name += std::to_string(i);
        name.append(size_t(i % 200), 'x');
        t.file(name, i);
    }
    int calls = 0;
    auto recs = readAll(t.path(), 4096, fullRequest(), &calls);
    EXPECT_EQ(recs.size(), 3000u);
    EXPECT_GT(calls, 100);
    for (auto& [name, r] : recs) EXPECT_EQ(r.totalSize, std::stoll(name.substr(1, name.find('x') - 1)));
    // The smallest buffer that holds one record of the longest name still makes progress.
    EXPECT_EQ(readAll(t.path(), kMaxBulkRecordSize, fullRequest()).size(), 3000u);
}

TEST(BulkAttributes, NameOnlyRequestAndBadRequests) {
    TempTree t;
    t.file("a", 1);
    t.dir("b");
    attrlist nameType;
    nameType.commonattr = ATTR_CMN_RETURNED_ATTRS | ATTR_CMN_NAME | ATTR_CMN_OBJTYPE;
    auto recs = readAll(t.path(), 65536, nameType);
    ASSERT_EQ(recs.size(), 2u);
    EXPECT_TRUE(recs.at("b").isDir());
    EXPECT_FALSE(recs.at("a").hasTotalSize);

    int fd = ::open(t.path().c_str(), O_RDONLY | O_DIRECTORY);
    std::vector<std::byte> buf(65536);
    attrlist bad = nameType;
    bad.bitmapcount = 4;
    errno = 0;
    EXPECT_EQ(getattrlistbulk(fd, &bad, buf.data(), buf.size(), 0), -1);
    EXPECT_EQ(errno, EINVAL);
    attrlist noReturned = nameType;
    noReturned.commonattr &= ~ATTR_CMN_RETURNED_ATTRS;
    EXPECT_EQ(getattrlistbulk(fd, &noReturned, buf.data(), buf.size(), 0), -1);
    EXPECT_EQ(getattrlistbulk(fd, &nameType, buf.data(), kMaxBulkRecordSize - 1, 0), -1);
    EXPECT_EQ(getattrlistbulk(-1, &nameType, buf.data(), buf.size(), 0), -1);
    EXPECT_EQ(errno, EBADF);
    ::close(fd);
}

// A folder that may be listed but not entered: its names are there, nothing else about its
// entries is. A request for more than names fails as the folder's read, with the reason, rather
// than passing its files off as empty and dated 1970.
TEST(BulkAttributes, FolderWithoutSearchPermissionListsNamesAndRefusesTheRest) {
    TempTree t;
    t.file("locked/inner", 10);
    t.dir("locked/deeper");
    t.chmod("locked", 0744);  // others may list, not search
    int rc = zelvane::test::runUnprivileged([&] {
        attrlist names;
        names.commonattr = ATTR_CMN_RETURNED_ATTRS | ATTR_CMN_NAME | ATTR_CMN_OBJTYPE;
        auto recs = readAll(t.at("locked"), 65536, names);
        if (recs.size() != 2) return 1;
        if (!recs.at("deeper").isDir()) return 2;
        int fd = ::open(t.at("locked").c_str(), O_RDONLY | O_DIRECTORY);
        if (fd < 0) return 3;
        std::vector<std::byte> buf(65536);
        const attrlist full = fullRequest();
        errno = 0;
        const int n = getattrlistbulk(fd, &full, buf.data(), buf.size(), FSOPT_ATTR_CMN_EXTENDED);
        const int err = errno;
        ::close(fd);
        if (n != -1) return 4;
        return err == EACCES ? 0 : 5;
    });
    EXPECT_EQ(rc, 0);
}

TEST(MountTable, BlockDevicesOfMountSources) {
    EXPECT_EQ(blockDeviceOfMountSource("/dev/nvme0n1p2"), "nvme0n1p2");
    EXPECT_EQ(blockDeviceOfMountSource("/dev/mapper/vg-root"), "vg-root");
    EXPECT_EQ(blockDeviceOfMountSource("/dev/"), std::nullopt);
    EXPECT_EQ(blockDeviceOfMountSource("server:/export"), std::nullopt);
    EXPECT_EQ(blockDeviceOfMountSource("tmpfs"), std::nullopt);
}

TEST(MountTable, StatfsKnowsTmpfsAndSeesNewMounts) {
    auto root = statfsPath("/");  // whatever the machine mounts there, "/" has a mount
    ASSERT_TRUE(root);
    EXPECT_GT(root->blockSize, 0);
    EXPECT_FALSE(statfsPath("/no/such/path"));
    if (!zelvane::test::runningAsRoot()) GTEST_SKIP() << "mounting needs root";
    TempTree t;
    t.dir("m");
    int rc = zelvane::test::runInChild([&] {
        if (::unshare(CLONE_NEWNS) != 0) return 0;  // no mount namespaces here: nothing to test
        if (::mount("none", "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0) return 0;
        auto before = statfsPath(t.at("m"));  // read the table once before the mount
        if (!before || before->fsType == "tmpfs") return 1;
        if (::mount("none", t.at("m").c_str(), "tmpfs", 0, nullptr) != 0) return 0;
        auto after = statfsPath(t.at("m"));
        return after && after->fsType == "tmpfs" && after->isLocal && after->blockSize > 0 ? 0 : 2;
    });
    EXPECT_EQ(rc, 0);
}

TEST(Sandbox, FlatpakAndSnapDecisions) {
    EXPECT_TRUE(flatpakInfoGrantsHost("[Application]\nname=x\n\n[Context]\nshared=network;\nfilesystems=host;xdg-download\n"));
    EXPECT_TRUE(flatpakInfoGrantsHost("[Context]\nfilesystems=xdg-run/foo;host:ro;\n"));
    EXPECT_FALSE(flatpakInfoGrantsHost("[Context]\nfilesystems=home;xdg-download\n"));
    EXPECT_FALSE(flatpakInfoGrantsHost("[Application]\nfilesystems=host\n"));
    EXPECT_FALSE(flatpakInfoGrantsHost("[Context]\nfilesystems=host-os\n"));
    EXPECT_TRUE(isStrictSnapLabel("snap.zelvanemac.zelvanemac (enforce)\n"));
    EXPECT_FALSE(isStrictSnapLabel("unconfined\n"));
    EXPECT_FALSE(isStrictSnapLabel("snap.zelvanemac.zelvanemac (complain)"));
}
