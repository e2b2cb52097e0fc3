#include <gtest/gtest.h>
#include <sys/sysmacros.h>

#include "Platform/MountTable.hpp"

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

TEST(MountTable, CurrentTableHasTheRoot) {
    MountTable t = MountTable::current();
    ASSERT_FALSE(t.entries().empty());
    ASSERT_NE(t.mountContaining("/"), nullptr);
    EXPECT_EQ(t.mountContaining("/")->mountPoint, "/");
}
