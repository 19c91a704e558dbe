#pragma once

#include <cstddef>
#include <string_view>
#include <sys/types.h>

/// How far writeAll got: every byte (err 0), or done bytes and the errno that stopped it
/// (EIO when the file took nothing without saying why).
struct WriteOutcome
{
    std::size_t done = 0;
    int err = 0;
};

/// Writes all of bytes, carrying on after short writes and signals.
WriteOutcome writeAll(int fd, std::string_view bytes);

/// One read that a signal does not cut short: the byte count, 0 at the end, or -1 with
/// errno set.
ssize_t readRetrying(int fd, char *dst, std::size_t max);
