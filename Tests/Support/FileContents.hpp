#pragma once

// Real files for tests, written and read back whole. Every writer makes the folders on the way
// and throws when the file cannot be written, so a set-up that failed never reads as a finding.

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

namespace zelvane::testsupport {

// Replaces `path` with exactly these bytes.
void writeFile(const std::filesystem::path& path, std::string_view bytes);
// Replaces `path` with `size` bytes of 'x' (written, so they take room on the disk).
void writeFile(const std::filesystem::path& path, int64_t size);
// `count` bytes that look random and are the same in every run (a fixed seed).
std::string noiseBytes(size_t count);
// The whole content of `path`; empty when it cannot be read.
std::string readFile(const std::filesystem::path& path);

// Makes the folder and the folders above it; an existing folder is no error.
void makeFolder(const std::filesystem::path& path);
// Sets the modification (and access) time of `path` itself, a link not followed.
void setModified(const std::filesystem::path& path, long unixSeconds);
// Whether anything, a dangling link included, stands at `path`.
bool existsNoFollow(const std::filesystem::path& path);
// The names in `folder`, sorted by their bytes; what could be read of a folder that cannot.
std::vector<std::string> namesIn(const std::filesystem::path& folder);

}  // namespace zelvane::testsupport
