#include "Ostrane/PasswordOutput.hpp"

#include <cerrno>
#include <unistd.h>

namespace ostrane {

bool writeAll(int fd, const QByteArray& bytes) {
    const char* p = bytes.constData();
    qsizetype left = bytes.size();
    while (left > 0) {
        const ssize_t n = ::write(fd, p, size_t(left));
        if (n < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        if (n == 0) return false;
        p += n;
        left -= n;
    }
    return true;
}

}  // namespace ostrane
