#include "Platform/MountTable.hpp"

#include <sys/stat.h>
#include <sys/statfs.h>
#include <sys/sysmacros.h>

#include <charconv>
#include <fstream>
#include <sstream>

#include "Platform/FileSystemTypes.hpp"

namespace zelvane {
namespace {

// mountinfo escapes space, tab, newline and backslash as \ooo.
std::string unescape(std::string_view s) {
    std::string out;
    out.reserve(s.size());
    for (size_t i = 0; i < s.size(); ++i) {
        if (s[i] == '\\' && s.size() - i >= 4) {
            auto oct = [](char c) { return c >= '0' && c <= '7'; };
            if (oct(s[i + 1]) && oct(s[i + 2]) && oct(s[i + 3])) {
                out.push_back(char(((s[i + 1] - '0') << 6) | ((s[i + 2] - '0') << 3) | (s[i + 3] - '0')));
                i += 3;
                continue;
            }
        }
        out.push_back(s[i]);
    }
    return out;
}

std::vector<std::string_view> fields(std::string_view line) {
    std::vector<std::string_view> out;
    size_t i = 0;
    while (i < line.size()) {
        while (i < line.size() && line[i] == ' ') ++i;
        size_t start = i;
        while (i < line.size() && line[i] != ' ') ++i;
        if (i > start) out.push_back(line.substr(start, i - start));
    }
    return out;
}

}  // namespace

bool MountTable::isRemoteFileSystemType(std::string_view t) {
    static constexpr std::string_view kRemote[] = {"nfs", "nfs4", "cifs", "smb3", "smbfs", "sshfs", "fuse.sshfs",
                                                   "9p", "ceph", "glusterfs", "fuse.glusterfs", "afs", "fuse.rclone"};
    for (auto r : kRemote)
        if (t == r) return true;
    return false;
}

MountTable MountTable::parse(std::string_view text) {
    MountTable table;
    size_t pos = 0;
    while (pos < text.size()) {
        size_t nl = text.find('\n', pos);
        std::string_view line = text.substr(pos, nl == std::string_view::npos ? std::string_view::npos : nl - pos);
        pos = nl == std::string_view::npos ? text.size() : nl + 1;
        // id parent major:minor root mountpoint options [optional...] - fstype source superoptions
        auto f = fields(line);
        size_t dash = 0;
        for (size_t i = 6; i < f.size(); ++i)
            if (f[i] == "-") {
                dash = i;
                break;
            }
        if (dash == 0) continue;
        MountEntry e;
        std::string_view devField = f[2];
        size_t colon = devField.find(':');
        if (colon != std::string_view::npos) {
            unsigned maj = 0, min = 0;
            std::from_chars(devField.data(), devField.data() + colon, maj);
            std::from_chars(devField.data() + colon + 1, devField.data() + devField.size(), min);
            e.device = makedev(maj, min);
        }
        e.root = unescape(f[3]);
        e.mountPoint = unescape(f[4]);
        e.fsType = dash + 1 < f.size() ? std::string(f[dash + 1]) : std::string();
        e.source = dash + 2 < f.size() ? unescape(f[dash + 2]) : std::string();
        e.isRemote = isRemoteFileSystemType(e.fsType);
        table.entries_.push_back(std::move(e));
    }
    return table;
}

MountTable MountTable::current() {
    std::ifstream in("/proc/self/mountinfo");
    std::stringstream ss;
    ss << in.rdbuf();
    MountTable table = parse(ss.str());
    table.addRootIfMissing(rootFileSystem());
    return table;
}

MountEntry MountTable::rootFileSystem() {
    MountEntry e;
    e.mountPoint = "/";
    e.root = "/";
    struct stat st {};
    if (::stat("/", &st) == 0) e.device = st.st_dev;
    struct statfs sf {};
    if (::statfs("/", &sf) == 0) e.fsType = fileSystemTypeName(static_cast<unsigned long>(sf.f_type));
    e.isRemote = isRemoteFileSystemType(e.fsType);
    return e;
}

void MountTable::addRootIfMissing(MountEntry root) {
    for (const MountEntry& e : entries_)
        if (e.mountPoint == "/") return;
    entries_.insert(entries_.begin(), std::move(root));
}

const MountEntry* MountTable::mountContaining(std::string_view path) const {
    const MountEntry* best = nullptr;
    size_t bestLen = 0;
    for (const MountEntry& e : entries_) {
        std::string_view mp = e.mountPoint;
        bool prefix = mp == "/" || (path.substr(0, mp.size()) == mp && (path.size() == mp.size() || path[mp.size()] == '/'));
        if (prefix && mp.size() >= bestLen) {
            best = &e;
            bestLen = mp.size();
        }
    }
    return best;
}

}  // namespace zelvane
