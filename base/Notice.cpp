#include "base/Notice.h"

#include <cerrno>
#include <string>
#include <unistd.h>

namespace {

void writeAll(std::string_view text)
{
    // One write per notice where the pipe takes it; the rest follows as it can.
    while (!text.empty()) {
        const ssize_t n = ::write(STDERR_FILENO, text.data(), text.size());
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return;
        text.remove_prefix(static_cast<std::size_t>(n));
    }
}

} // namespace

void notice(std::string_view text)
{
    std::string message = "Klingelwacht: ";
    message.append(text);
    message += '\n';
    writeAll(message);
}

void noticeVerbatim(std::string_view text)
{
    writeAll(text);
}
