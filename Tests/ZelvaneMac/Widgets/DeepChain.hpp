#pragma once

// A chain of folders whose path is longer than the system takes in one call, made and removed a
// folder at a time.

#include <filesystem>
#include <string>

#include "Platform/FileDescriptor.hpp"

namespace zelvane::fixtures {

class DeepChain final {
public:
    static constexpr int kLevels = 24;
    // Folders of 180 bytes a name and more, `kLevels` deep, below `base`.
    explicit DeepChain(const std::filesystem::path& base);
    ~DeepChain();
    DeepChain(const DeepChain&) = delete;
    DeepChain& operator=(const DeepChain&) = delete;

    // The deepest folder, open.
    int bottom() const { return bottom_.get(); }
    const std::string& path() const { return path_; }
    // Files in the deepest folder (`name` relative to it).
    void write(const std::string& name, const std::string& bytes) const;
    std::string read(const std::string& name) const;

private:
    FileDescriptor top_;
    FileDescriptor bottom_;
    std::string first_;
    std::string path_;
};

}  // namespace zelvane::fixtures
