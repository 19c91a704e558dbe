#pragma once

#include <QMetaObject>
#include <QObject>

#include <functional>
#include <memory>
#include <mutex>
#include <thread>

/// Runs blocking work (a Secret Service call, a file written with fdatasync) on a thread of
/// its own and hands the result to the owner's thread. The thread is detached: a call that
/// never returns holds up neither the owner nor the program's exit, and a result that comes
/// back after its owner has gone is dropped.
class OffThread
{
public:
    explicit OffThread(QObject *owner) : m_box(std::make_shared<Box>()) { m_box->owner = owner; }
    ~OffThread()
    {
        const std::lock_guard lock(m_box->mutex);
        m_box->owner = nullptr;
    }
    OffThread(const OffThread &) = delete;
    OffThread &operator=(const OffThread &) = delete;

    template<class T> void run(std::function<T()> work, std::function<void(T)> then)
    {
        std::thread([box = m_box, work = std::move(work), then = std::move(then)]() mutable {
            auto result = std::make_shared<T>(work());
            // Posted while holding the lock, so the owner cannot go in between.
            const std::lock_guard lock(box->mutex);
            if (box->owner)
                QMetaObject::invokeMethod(
                    box->owner, [then = std::move(then), result] { then(std::move(*result)); },
                    Qt::QueuedConnection);
        }).detach();
    }

private:
    struct Box
    {
        std::mutex mutex;
        QObject *owner = nullptr;
    };
    std::shared_ptr<Box> m_box;
};
