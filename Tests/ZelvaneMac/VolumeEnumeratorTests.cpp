#include <gtest/gtest.h>

#include <QMap>

#include "QtTestApp.hpp"
#include "ZelvaneMac/Core/Scanning/VolumeEnumerator.hpp"

using namespace zelvane;

namespace {

VolumeProbe fakeProbe(QMap<QString, QString> labels = {}) {
    VolumeProbe p;
    p.isDirectory = [](const std::string& mp) { return mp != "/etc/hosts" && mp != "/etc/resolv.conf"; };
    p.label = [labels](const MountEntry& e) -> std::optional<QString> {
        auto it = labels.find(QString::fromStdString(e.source));
        if (it == labels.end()) return std::nullopt;
        return *it;
    };
    p.capacity = [](const std::string& mp) -> VolumeCapacity {
        if (mp == "/mnt/broken") return {};
        return {1000, 400};
    };
    return p;
}

QStringList paths(const QVector<VolumeInfo>& v) {
    QStringList out;
    for (const auto& i : v) out << i.path;
    return out;
}

// A desktop with a separate /home, a USB stick, a labelled data disk and a network share.
const char* kDesktop =
    "21 26 0:20 / /sys rw,nosuid,nodev,noexec,relatime shared:7 - sysfs sysfs rw\n"
    "22 26 0:21 / /proc rw,nosuid,nodev,noexec,relatime shared:12 - proc proc rw\n"
    "23 26 0:5 / /dev rw,nosuid,relatime shared:2 - devtmpfs udev rw,size=8000000k\n"
    "24 23 0:22 / /dev/pts rw,nosuid,noexec,relatime shared:3 - devpts devpts rw\n"
    "25 26 0:23 / /run rw,nosuid,nodev,noexec,relatime shared:5 - tmpfs tmpfs rw\n"
    "26 1 259:2 / / rw,relatime shared:1 - ext4 /dev/nvme0n1p2 rw,errors=remount-ro\n"
    "27 21 0:26 / /sys/fs/cgroup rw,nosuid,nodev,noexec,relatime shared:9 - cgroup2 cgroup2 rw\n"
    "28 26 259:3 / /home rw,relatime shared:29 - ext4 /dev/nvme0n1p3 rw\n"
    "29 26 259:1 / /boot/efi rw,relatime shared:31 - vfat /dev/nvme0n1p1 rw\n"
    "30 26 7:1 / /snap/core22/1033 ro,nodev,relatime shared:33 - squashfs /dev/loop1 ro\n"
    "31 25 0:44 / /run/user/1000 rw,nosuid,nodev,relatime shared:500 - tmpfs tmpfs rw\n"
    "32 25 8:17 / /run/media/anna/USB\\040STICK rw,nosuid,nodev,relatime shared:600 - vfat /dev/sdb1 rw\n"
    "33 26 8:1 / /mnt/data rw,relatime shared:601 - xfs /dev/sda1 rw\n"
    "34 26 0:60 / /mnt/nas rw,relatime shared:602 - cifs //nas/share rw\n"
    "35 26 0:61 / /mnt/alpha rw,relatime shared:603 - ext4 /dev/sdc1 rw\n";

// A server with NFS home folders and an sshfs mount.
const char* kServer =
    "22 1 8:2 / / rw,relatime - xfs /dev/sda2 rw\n"
    "23 22 0:21 / /proc rw - proc proc rw\n"
    "40 22 0:50 / /home rw,relatime - nfs4 fileserver:/home rw,vers=4.2\n"
    "41 22 0:51 / /srv/backup rw,relatime - nfs fileserver:/backup rw\n"
    "42 22 0:52 / /mnt/remote rw - fuse.sshfs me@host:/data rw\n"
    "43 22 8:3 / /var rw,relatime - xfs /dev/sda3 rw\n"
    "44 22 0:53 / /mnt/broken rw - ext4 /dev/sdz1 rw\n";

// A container: an overlay root, file bind mounts and a bind-mounted work folder.
const char* kContainer =
    "600 500 0:120 / / rw,relatime - overlay overlay rw,lowerdir=/var/lib/docker/overlay2/l/A\n"
    "601 600 0:123 / /proc rw - proc proc rw\n"
    "602 600 0:124 / /dev rw - tmpfs tmpfs rw\n"
    "603 600 0:127 / /sys ro - sysfs sysfs ro\n"
    "604 600 254:1 /docker/containers/abc/resolv.conf /etc/resolv.conf rw - ext4 /dev/vda1 rw\n"
    "605 600 254:1 /docker/containers/abc/hosts /etc/hosts rw - ext4 /dev/vda1 rw\n"
    "606 600 254:1 /home/me/project /work rw - ext4 /dev/vda1 rw\n"
    "607 602 0:128 / /dev/shm rw - tmpfs shm rw\n";

}  // namespace

TEST(VolumeEnumerator, DesktopListsBootThenLocalThenNetwork) {
    auto v = enumerateVolumes(MountTable::parse(kDesktop), fakeProbe({{"/dev/sda1", "Data"}}));
    EXPECT_EQ(paths(v), (QStringList{"/", "/mnt/data", "/run/media/anna/USB STICK", "/mnt/alpha", "/boot/efi",
                                     "/home", "/mnt/nas"}));
    EXPECT_TRUE(v[0].isBoot);
    EXPECT_EQ(v[0].displayName, "/");
    EXPECT_EQ(v[1].displayName, "Data");  // the label wins over the folder name
    EXPECT_EQ(v[2].displayName, "USB STICK");
    EXPECT_EQ(v.back().displayName, "nas");
    EXPECT_FALSE(v.back().isLocal);
    EXPECT_EQ(v[0].totalCapacity, 1000);
    EXPECT_EQ(v[0].availableCapacity, 400);
}

TEST(VolumeEnumerator, ServerWithNetworkMountsAndUnreadableCapacity) {
    auto v = enumerateVolumes(MountTable::parse(kServer), fakeProbe());
    EXPECT_EQ(paths(v), (QStringList{"/", "/mnt/broken", "/var", "/srv/backup", "/home", "/mnt/remote"}));
    EXPECT_FALSE(v[1].totalCapacity.has_value());
    EXPECT_FALSE(v[3].isLocal);
    EXPECT_FALSE(v[5].isLocal);
}

TEST(VolumeEnumerator, ContainerKeepsOverlayRootAndFolderBindsOnly) {
    auto v = enumerateVolumes(MountTable::parse(kContainer), fakeProbe());
    EXPECT_EQ(paths(v), (QStringList{"/", "/work"}));
}

TEST(VolumeEnumerator, NamesSortCaseSensitivelyAndStably) {
    const char* text =
        "1 0 8:1 / /mnt/beta rw - ext4 /dev/a rw\n"
        "2 0 8:2 / /mnt/Zeta rw - ext4 /dev/b rw\n"
        "3 0 8:3 / /mnt/Alpha rw - ext4 /dev/c rw\n"
        "4 0 8:4 / /x/same rw - ext4 /dev/d rw\n"
        "5 0 8:5 / /y/same rw - ext4 /dev/e rw\n";
    auto v = enumerateVolumes(MountTable::parse(text), fakeProbe());
    EXPECT_EQ(paths(v), (QStringList{"/mnt/Alpha", "/mnt/Zeta", "/mnt/beta", "/x/same", "/y/same"}));
}

TEST(VolumeEnumerator, EqualityAndHashCoverEveryField) {
    VolumeInfo a{"/mnt/a", "a", false, true, 10, 5};
    VolumeInfo b = a;
    EXPECT_EQ(a, b);
    EXPECT_EQ(qHash(a), qHash(b));
    b.availableCapacity = 6;
    EXPECT_NE(a, b);
    EXPECT_NE(qHash(a), qHash(b));
    EXPECT_EQ(a.id(), b.id());
    b.availableCapacity.reset();
    EXPECT_NE(a, b);
}

// A container whose root file system the kernel does not list still offers "/" first; so does
// this machine, whatever its table holds.
TEST(VolumeEnumerator, TheRootIsListedEvenWhenTheMountTableMissesIt) {
    MountTable container = MountTable::parse("40 35 0:50 / /proc rw - proc proc rw\n"
                                             "41 35 8:17 / /mnt/data rw - ext4 /dev/sdb1 rw\n");
    container.addRootIfMissing(MountTable::rootFileSystem());
    EXPECT_EQ(paths(enumerateVolumes(container, fakeProbe())), (QStringList{"/", "/mnt/data"}));

    auto v = enumerateVolumes();
    ASSERT_FALSE(v.isEmpty());
    EXPECT_EQ(v[0].path, "/");
    EXPECT_TRUE(v[0].isBoot);
    EXPECT_TRUE(v[0].totalCapacity.has_value());
}
