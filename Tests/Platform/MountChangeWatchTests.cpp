#include <gtest/gtest.h>

#include <sys/mount.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>

#include "Platform/MountChangeWatch.hpp"

namespace zelvane {
namespace {

// A real mount and unmount of a small tmpfs. Needs the right to mount (root in this namespace).
TEST(MountChangeWatch, MountsAndUnmountsAreReported) {
    std::string pattern = (std::filesystem::temp_directory_path() / "zelvane-mnt-XXXXXX").string();
    ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
    MountChangeWatch watch;
    ASSERT_GE(watch.fd(), 0) << "/proc/self/mountinfo could not be opened";
    watch.acknowledge();
    while (watch.changePending()) watch.acknowledge();  // changes of other programs meanwhile
    if (::mount("zelvane-test", pattern.c_str(), "tmpfs", 0, "size=1m") != 0) {
        ::rmdir(pattern.c_str());
        GTEST_SKIP() << "cannot mount here (needs root with CAP_SYS_ADMIN): " << std::strerror(errno);
    }
    EXPECT_TRUE(watch.changePending()) << "the mount";
    watch.acknowledge();
    ASSERT_EQ(::umount(pattern.c_str()), 0);
    EXPECT_TRUE(watch.changePending()) << "the unmount";
    ::rmdir(pattern.c_str());
}

}  // namespace
}  // namespace zelvane
