#include "Platform/SandboxAccess.hpp"

#include <fcntl.h>
#include <unistd.h>

#include <string>

namespace zelvane {

namespace {

bool readSmallFile(const char* path, std::string& out) {
    int fd = ::open(path, O_RDONLY | O_CLOEXEC);
    if (fd < 0) return false;
    char buf[4096];
    for (;;) {
        ssize_t n = ::read(fd, buf, sizeof buf);
        if (n <= 0) break;
        out.append(buf, size_t(n));
        if (out.size() > (1u << 20)) break;
    }
    ::close(fd);
    return true;
}

std::string_view trim(std::string_view s) {
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t' || s.front() == '\r')) s.remove_prefix(1);
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t' || s.back() == '\r' || s.back() == '\n')) s.remove_suffix(1);
    return s;
}

}  // namespace

bool flatpakInfoGrantsHost(std::string_view info) {
    bool inContext = false;
    size_t pos = 0;
    while (pos <= info.size()) {
        size_t nl = info.find('\n', pos);
        if (nl == std::string_view::npos) nl = info.size();
        std::string_view line = trim(info.substr(pos, nl - pos));
        pos = nl + 1;
        if (line.empty() || line[0] == '#') continue;
        if (line.front() == '[') {
            inContext = line == "[Context]";
            continue;
        }
        if (!inContext) continue;
        size_t eq = line.find('=');
        if (eq == std::string_view::npos || trim(line.substr(0, eq)) != "filesystems") continue;
        std::string_view list = line.substr(eq + 1);
        size_t p = 0;
        while (p <= list.size()) {
            size_t semi = list.find(';', p);
            if (semi == std::string_view::npos) semi = list.size();
            std::string_view item = trim(list.substr(p, semi - p));
            p = semi + 1;
            if (item == "host" || item == "host:rw" || item == "host:ro") return true;
        }
    }
    return false;
}

bool isStrictSnapLabel(std::string_view label) {
    label = trim(label);
    return label.substr(0, 5) == "snap." && label.size() >= 10 && label.substr(label.size() - 9) == "(enforce)";
}

bool hasHostFileSystemAccess() {
    std::string text;
    if (::access("/.flatpak-info", F_OK) == 0) return readSmallFile("/.flatpak-info", text) && flatpakInfoGrantsHost(text);
    text.clear();
    if (readSmallFile("/proc/self/attr/current", text) && isStrictSnapLabel(text)) return false;
    return true;
}

}  // namespace zelvane
