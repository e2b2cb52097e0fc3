#include "DeepChain.hpp"

#include <gtest/gtest.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "ZelvaneMac/Actions/ItemRemoval.hpp"

namespace zelvane::fixtures {

DeepChain::DeepChain(const std::filesystem::path& base) : top_(::open(base.c_str(), O_RDONLY | O_DIRECTORY)) {
    const std::string name(180, 'd');
    FileDescriptor at(::fcntl(top_.get(), F_DUPFD_CLOEXEC, 0));
    path_ = base.native();
    for (int i = 0; i < kLevels; ++i) {
        const std::string level = name + std::to_string(i);
        EXPECT_EQ(::mkdirat(at.get(), level.c_str(), 0755), 0);
        at.reset(::openat(at.get(), level.c_str(), O_RDONLY | O_DIRECTORY));
        path_ += "/" + level;
        if (i == 0) first_ = level;
    }
    bottom_ = std::move(at);
}

DeepChain::~DeepChain() { removeTreeAt(top_.get(), first_); }

void DeepChain::write(const std::string& name, const std::string& bytes) const {
    FileDescriptor fd(::openat(bottom_.get(), name.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644));
    EXPECT_EQ(::write(fd.get(), bytes.data(), bytes.size()), ssize_t(bytes.size()));
}

std::string DeepChain::read(const std::string& name) const {
    FileDescriptor fd(::openat(bottom_.get(), name.c_str(), O_RDONLY));
    std::string out(4096, '\0');
    const ssize_t n = fd ? ::read(fd.get(), out.data(), out.size()) : -1;
    out.resize(n > 0 ? size_t(n) : 0);
    return out;
}

}  // namespace zelvane::fixtures
