#include "tests/support/Watchdog.h"

#include <cstdio>
#include <cstdlib>

Watchdog::Watchdog(std::chrono::seconds limit, const char *what)
    : m_thread([this, limit, what] {
          std::unique_lock lock(m_mutex);
          if (!m_done.wait_for(lock, limit, [&] { return m_finished; })) {
              std::fprintf(stderr, "Watchdog: %s did not return within %lld s\n", what,
                           static_cast<long long>(limit.count()));
              std::_Exit(1);
          }
      })
{}

Watchdog::~Watchdog()
{
    {
        std::lock_guard lock(m_mutex);
        m_finished = true;
    }
    m_done.notify_all();
    m_thread.join();
}
