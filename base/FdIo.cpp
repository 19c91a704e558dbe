#include "base/FdIo.h"

#include <cerrno>
#include <unistd.h>

WriteOutcome writeAll(int fd, std::string_view bytes)
{
    WriteOutcome out;
    while (out.done < bytes.size()) {
        const ssize_t n = ::write(fd, bytes.data() + out.done, bytes.size() - out.done);
        if (n > 0) {
            out.done += static_cast<std::size_t>(n);
        } else if (n < 0 && errno == EINTR) {
            continue;
        } else {
            out.err = n < 0 ? errno : EIO;
            break;
        }
    }
    return out;
}

ssize_t readRetrying(int fd, char *dst, std::size_t max)
{
    for (;;) {
        const ssize_t n = ::read(fd, dst, max);
        if (n >= 0 || errno != EINTR)
            return n;
    }
}
