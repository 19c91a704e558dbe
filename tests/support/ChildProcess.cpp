#include "tests/support/ChildProcess.h"

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <stdexcept>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

extern char **environ;

void ChildProcess::start(const std::vector<std::string> &argv, const std::vector<std::string> &env,
                         const std::string &stdoutPath, const std::string &stderrPath,
                         const std::string &cwd)
{
    if (m_pid > 0)
        throw std::logic_error("ChildProcess already running");
    std::vector<char *> args;
    for (const auto &a : argv)
        args.push_back(const_cast<char *>(a.c_str()));
    args.push_back(nullptr);

    const pid_t pid = fork();
    if (pid < 0)
        throw std::runtime_error(std::string("fork: ") + std::strerror(errno));
    if (pid == 0) {
        for (const auto &e : env) {
            const auto eq = e.find('=');
            if (eq == std::string::npos)
                unsetenv(e.c_str());
            else
                setenv(e.substr(0, eq).c_str(), e.substr(eq + 1).c_str(), 1);
        }
        const int out = open(stdoutPath.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0644);
        const int err = open(stderrPath.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0644);
        const int in = open("/dev/null", O_RDONLY);
        if (out >= 0)
            dup2(out, 1);
        if (err >= 0)
            dup2(err, 2);
        if (in >= 0)
            dup2(in, 0);
        if (!cwd.empty() && chdir(cwd.c_str()) != 0)
            _exit(126);
        execvp(args[0], args.data());
        _exit(127);
    }
    m_pid = pid;
    m_status = -1;
}

int ChildProcess::reap(bool block)
{
    if (m_pid <= 0)
        return m_status;
    int status = 0;
    const pid_t r = waitpid(m_pid, &status, block ? 0 : WNOHANG);
    if (r == m_pid) {
        m_status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
        m_pid = -1;
    }
    return m_status;
}

bool ChildProcess::isRunning()
{
    reap(false);
    return m_pid > 0;
}

void ChildProcess::signal(int sig) const
{
    if (m_pid > 0)
        kill(m_pid, sig);
}

int ChildProcess::wait(std::chrono::milliseconds timeout)
{
    if (!waitUntil([&] { return !isRunning(); }, timeout))
        return -2;
    return m_status;
}

int ChildProcess::stop(std::chrono::milliseconds grace)
{
    if (m_pid <= 0)
        return m_status;
    kill(m_pid, SIGTERM);
    if (wait(grace) == -2) {
        kill(m_pid, SIGKILL);
        reap(true);
    }
    return m_status;
}
