#include <gtest/gtest.h>
#include <sched.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "Platform/FileSystemInfo.hpp"
#include "Platform/FileSystemTypes.hpp"
#include "Platform/MountTable.hpp"
#include "TempFolder.hpp"

using namespace zelvane;

TEST(MountTable, ParsesEscapesOptionalFieldsAndStacking) {
    const char* text =
        "22 1 259:2 / / rw,relatime shared:1 - ext4 /dev/nvme0n1p2 rw\n"
        "40 22 0:35 / /mnt/My\\040Disk rw,relatime shared:20 master:3 - vfat /dev/sdb1 rw\n"
        "41 22 0:50 / /srv/nfs rw - nfs4 server:/export rw,vers=4.2\n"
        "42 22 0:51 / /srv/nfs rw - tmpfs tmpfs rw\n"
        "garbage line without separator\n"
        "43 22 8:1 /sub /home/user/bind rw - btrfs /dev/sda1 rw";
    MountTable t = MountTable::parse(text);
    ASSERT_EQ(t.entries().size(), 5u);
    EXPECT_EQ(t.entries()[0].device, makedev(259, 2));
    EXPECT_EQ(t.entries()[1].mountPoint, "/mnt/My Disk");
    EXPECT_EQ(t.entries()[1].fsType, "vfat");
    EXPECT_TRUE(t.entries()[2].isRemote);
    EXPECT_EQ(t.entries()[2].source, "server:/export");
    EXPECT_EQ(t.entries()[4].root, "/sub");

    EXPECT_EQ(t.mountContaining("/home/user/file")->mountPoint, "/");
    EXPECT_EQ(t.mountContaining("/home/user/bind/x")->mountPoint, "/home/user/bind");
    EXPECT_EQ(t.mountContaining("/home/user/binder")->mountPoint, "/");
    EXPECT_EQ(t.mountContaining("/srv/nfs/a")->fsType, "tmpfs");  // the later mount hides the earlier
    EXPECT_EQ(t.mountContaining("/mnt/My Disk")->fsType, "vfat");
}

TEST(MountTable, TheRootFileSystemIsAddedWhenTheTableMissesIt) {
    struct stat rootStat {};
    ASSERT_EQ(::stat("/", &rootStat), 0);
    const MountEntry root = MountTable::rootFileSystem();
    EXPECT_EQ(root.mountPoint, "/");
    EXPECT_EQ(root.device, uint64_t(rootStat.st_dev));

    // A container's table: its root file system is shown nowhere.
    MountTable t = MountTable::parse("40 35 0:50 / /proc rw - proc proc rw\n"
                                     "41 35 0:51 / /data rw - ext4 /dev/sdb1 rw\n");
    EXPECT_EQ(t.mountContaining("/etc/hosts"), nullptr);
    t.addRootIfMissing(root);
    ASSERT_EQ(t.entries().size(), 3u);
    ASSERT_NE(t.mountContaining("/etc/hosts"), nullptr);
    EXPECT_EQ(t.mountContaining("/etc/hosts")->device, uint64_t(rootStat.st_dev));
    EXPECT_EQ(t.mountContaining("/data/x")->fsType, "ext4");
    t.addRootIfMissing(root);
    EXPECT_EQ(t.entries().size(), 3u);

    // A table that lists "/" keeps its own entry.
    MountTable listed = MountTable::parse("22 1 259:2 / / rw - btrfs /dev/nvme0n1p2 rw\n");
    listed.addRootIfMissing(root);
    ASSERT_EQ(listed.entries().size(), 1u);
    EXPECT_EQ(listed.entries()[0].fsType, "btrfs");

    // Whatever this machine's table holds, the current one has a mount for every absolute path.
    ASSERT_NE(MountTable::current().mountContaining("/"), nullptr);
    EXPECT_EQ(MountTable::current().mountContaining("/")->mountPoint, "/");
}

// In a chroot whose folder is no mount point, the kernel's table has no line for "/": the table
// and the mount lookups must still find the root file system.
TEST(MountTable, InsideAChrootTheRootStillHasAMount) {
    if (!testsupport::runningAsRoot()) GTEST_SKIP() << "a chroot and a mount namespace need root";
    const testsupport::TempFolder folder("zelvane-chroot");
    const std::string dir = folder.path();
    std::filesystem::create_directories(dir + "/proc");
    const int status = testsupport::runInChild([&] {
        if (::unshare(CLONE_NEWNS) != 0 || ::mount("none", "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0 ||
            ::mount("proc", (dir + "/proc").c_str(), "proc", 0, nullptr) != 0 || ::chroot(dir.c_str()) != 0 ||
            ::chdir("/") != 0)
            return 77;
        FILE* f = std::fopen("/proc/self/mountinfo", "r");
        if (!f) return 77;
        std::string text;
        char buf[4096];
        while (size_t n = std::fread(buf, 1, sizeof buf, f)) text.append(buf, n);
        std::fclose(f);
        if (MountTable::parse(text).mountContaining("/") != nullptr) return 78;  // the kernel listed it after all
        const MountTable t = MountTable::current();
        const MountEntry* m = t.mountContaining("/proc/self");
        if (!m || m->mountPoint != "/proc") return 1;
        m = t.mountContaining("/anything");
        if (!m || m->mountPoint != "/") return 2;
        if (!mountEntryForPath("/") || mountEntryForPath("/")->mountPoint != "/") return 3;
        return 0;
    });
    if (status == 77) GTEST_SKIP() << "no mount namespace or chroot here";
    if (status == 78) GTEST_SKIP() << "this kernel lists the chroot's root";
    EXPECT_EQ(status, 0);
}

TEST(FileSystemTypes, NamesNumbersAndKinds) {
    EXPECT_EQ(fileSystemTypeName(0xef53), "ext4");
    EXPECT_EQ(fileSystemTypeName(0x01021994), "tmpfs");
    EXPECT_EQ(fileSystemTypeName(0x12345678), "");
    EXPECT_EQ(fileSystemTypeName(0), "");
    EXPECT_TRUE(isPseudoFileSystem("proc"));
    EXPECT_TRUE(isPseudoFileSystem("devtmpfs"));
    EXPECT_TRUE(isPseudoFileSystemMagic(0x9fa0));
    EXPECT_FALSE(isPseudoFileSystemMagic(0x01021994));  // tmpfs holds user data: worth a watch
    EXPECT_FALSE(isPseudoFileSystem("tmpfs"));
    EXPECT_TRUE(isSystemLayerFileSystem("tmpfs"));
    EXPECT_TRUE(isSystemLayerFileSystem("fuse.snapfuse"));
    EXPECT_FALSE(isSystemLayerFileSystem("ext4"));
    EXPECT_FALSE(isPseudoFileSystem("fuse.sshfs"));
}
