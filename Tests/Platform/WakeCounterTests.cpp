// ThreadSanitizer runs this program: signals come from other threads.
#include <gtest/gtest.h>
#include <poll.h>

#include <thread>
#include <vector>

#include "Platform/FileSystemLabels.hpp"
#include "Platform/WakeCounter.hpp"

using namespace zelvane;

namespace {
bool readable(const WakeCounter& w, int timeoutMillis) {
    pollfd p{w.fd(), POLLIN, 0};
    return ::poll(&p, 1, timeoutMillis) == 1 && (p.revents & POLLIN);
}
}  // namespace

TEST(WakeCounter, SignalsFromOtherThreadsWakeTheWaiterUntilDrained) {
    WakeCounter wake;
    ASSERT_GE(wake.fd(), 0);
    EXPECT_FALSE(readable(wake, 0));
    std::vector<std::thread> threads;
    for (int i = 0; i < 4; ++i)
        threads.emplace_back([&] {
            for (int j = 0; j < 100; ++j) wake.signal();
        });
    for (auto& t : threads) t.join();
    EXPECT_TRUE(readable(wake, 1000));
    wake.drain();  // every signal so far taken at once
    EXPECT_FALSE(readable(wake, 0));
    wake.drain();  // draining an empty counter does not block
    std::thread late([&] { wake.signal(); });
    EXPECT_TRUE(readable(wake, 5000));
    late.join();
}

TEST(FileSystemLabels, PathsResolveOrAreAbsent) {
    EXPECT_EQ(resolvedPath("/"), "/");
    EXPECT_EQ(resolvedPath("/proc/self/../self/."), resolvedPath("/proc/self"));
    EXPECT_FALSE(resolvedPath("/no/such/device"));
    EXPECT_FALSE(resolvedPath(""));
    for (const auto& [device, label] : fileSystemLabelsByDevice()) {
        EXPECT_EQ(device.front(), '/');
        EXPECT_FALSE(label.empty());
    }
}
