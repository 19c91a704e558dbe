#include "CallLog.h"

#include "CallViews.h"

#include <cerrno>
#include <fcntl.h>
#include <string>
#include <system_error>
#include <unistd.h>

CallLog::CallLog(std::string fileName) : m_fileName(std::move(fileName)) {}

void CallLog::LogAppend(std::string_view line)
{
    const int fd = ::open(m_fileName.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0644);
    if (fd < 0)
        throw std::system_error(errno, std::generic_category(), m_fileName);
    std::string out(line);
    out += "\r\n";
    const ssize_t n = ::write(fd, out.data(), out.size());
    const int err = errno;
    ::close(fd);
    if (n != static_cast<ssize_t>(out.size()))
        throw std::system_error(n < 0 ? err : EIO, std::generic_category(), m_fileName);
}

void CallLog::LogLoad(CallViews &views)
{
    if (views.GridRowCount() >= 3)
        views.GridRemoveLast();
}
