#include "app/CompositorWatch.h"

#include "app/ProcessEnd.h"

#include <QCoreApplication>
#include <QGuiApplication>
#include <atomic>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <mutex>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <sys/syscall.h>
#include <sys/un.h>
#include <unistd.h>

namespace {

// The process whose Wayland connection is watched (0: none); a child after fork is not it.
std::atomic<pid_t> g_watchedPid{0};

/// Where the compositor listens, as libwayland-client finds it.
std::string waylandSocketPath()
{
    const char *display = std::getenv("WAYLAND_DISPLAY");
    const std::string name = display && *display ? display : "wayland-0";
    if (name.front() == '/')
        return name;
    const char *runtime = std::getenv("XDG_RUNTIME_DIR");
    return runtime ? std::string(runtime) + "/" + name : std::string();
}

} // namespace

int CompositorWatch::findConnection(const std::string &socketPath)
{
    if (socketPath.empty())
        return -1;
    std::error_code ec;
    for (const auto &entry : std::filesystem::directory_iterator("/proc/self/fd", ec)) {
        const int fd = std::atoi(entry.path().filename().c_str());
        sockaddr_un peer = {};
        socklen_t len = sizeof peer;
        // A client socket's peer name is the path the compositor is bound to.
        if (::getpeername(fd, reinterpret_cast<sockaddr *>(&peer), &len) == 0 &&
            peer.sun_family == AF_UNIX && len > offsetof(sockaddr_un, sun_path) &&
            socketPath == peer.sun_path)
            return fd;
    }
    return -1;
}

std::unique_ptr<CompositorWatch> CompositorWatch::create(std::function<void()> onHangUp)
{
    if (!QGuiApplication::platformName().startsWith(QLatin1String("wayland")))
        return nullptr;
    const int fd = findConnection(waylandSocketPath());
    if (fd < 0)
        return nullptr;
    return std::unique_ptr<CompositorWatch>(new CompositorWatch(fd, std::move(onHangUp)));
}

CompositorWatch::CompositorWatch(int fd, std::function<void()> onHangUp)
    : m_fd(fd), m_stopFd(::eventfd(0, EFD_CLOEXEC)), m_onHangUp(std::move(onHangUp))
{
    g_watchedPid = ::getpid();
    QCoreApplication::instance()->installEventFilter(this);
    m_thread = std::thread([this] {
        pollfd fds[2] = {{m_fd, POLLRDHUP, 0}, {m_stopFd, POLLIN, 0}};
        while (::poll(fds, 2, -1) < 0 && errno == EINTR) {
        }
        if (!(fds[1].revents & POLLIN) && (fds[0].revents & (POLLRDHUP | POLLHUP | POLLERR)))
            hangUp();
    });
}

CompositorWatch::~CompositorWatch()
{
    g_watchedPid = 0;
    QCoreApplication::instance()->removeEventFilter(this);
    const std::uint64_t one = 1;
    [[maybe_unused]] const auto n = ::write(m_stopFd, &one, sizeof one);
    m_thread.join();
    ::close(m_stopFd);
}

bool CompositorWatch::hungUp(int timeoutMs) const
{
    pollfd fd = {m_fd, POLLRDHUP, 0};
    return ::poll(&fd, 1, timeoutMs) > 0 && (fd.revents & (POLLRDHUP | POLLHUP | POLLERR));
}

void CompositorWatch::hangUp()
{
    std::call_once(m_once, m_onHangUp);
}

bool CompositorWatch::eventFilter(QObject *watched, QEvent *event)
{
    // Qt's event thread hands the broken connection to this thread as an event; whatever
    // event comes first after the hang-up finds the log finished before Qt ends the process.
    if (hungUp(0))
        hangUp();
    return QObject::eventFilter(watched, event);
}

// Qt's Wayland plugin calls _exit() as soon as it finds the connection broken, also straight
// from the event dispatcher's wake-up (QWaylandDisplay::flushRequests), where neither an
// event nor the watcher thread is sure to come first. The program's own _exit, which the
// plugin's call reaches, finishes the log before it ends the process as _exit does.
extern "C" [[noreturn]] void _exit(int status)
{
    if (g_watchedPid != 0 && g_watchedPid == ::getpid())
        ProcessEnd::finishLog();
    ::syscall(SYS_exit_group, status);
    __builtin_unreachable();
}
