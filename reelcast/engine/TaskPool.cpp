#include "TaskPool.h"

#include "PlatformCrash.h"

#include "LogCategories.h"

#include <exception>

TaskPool* TaskPool::instance()
{
    // Never destroyed: workers may still be finishing a task while static objects are torn
    // down at process exit.
    static TaskPool* pool = new TaskPool;
    return pool;
}

TaskPool::~TaskPool()
{
    shutdown();
}

void TaskPool::start(int workers)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    if (m_running)
        return;
    // Threads of an earlier run have been joined by shutdown().
    m_workers.clear();
    m_running = true;
    for (int i = 0; i < workers; ++i)
        m_workers.emplace_back(&TaskPool::workerLoop, this);
}

void TaskPool::post(Task task)
{
    if (!task)
        return;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_queue.push_back(std::move(task));
    }
    m_wake.notify_one();
}

void TaskPool::shutdown()
{
    std::vector<std::thread> workers;
    std::deque<Task> dropped;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_running = false;
        workers.swap(m_workers);
        // Queued tasks never run; destroy them outside the lock, their captures may be heavy.
        dropped.swap(m_queue);
    }
    m_wake.notify_all();
    const std::thread::id self = std::this_thread::get_id();
    for (std::thread& worker : workers) {
        // A task that shuts the pool down cannot wait for itself.
        if (worker.get_id() == self)
            worker.detach();
        else if (worker.joinable())
            worker.join();
    }
}

bool TaskPool::isRunning() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_running;
}

int TaskPool::queuedCount() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return static_cast<int>(m_queue.size());
}

int TaskPool::executingCount() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_executing;
}

void TaskPool::workerLoop()
{
    // A task that overflows its stack is still handed to the crash handler.
    platform::prepareCrashStack();
    std::unique_lock<std::mutex> lock(m_mutex);
    for (;;) {
        m_wake.wait(lock, [this] { return !m_running || !m_queue.empty(); });
        if (!m_running)
            return;
        Task task = std::move(m_queue.front());
        m_queue.pop_front();
        ++m_executing;
        lock.unlock();
        try {
            task();
        } catch (const std::exception& e) {
            // One failing task must not take the whole program down with it.
            qCWarning(lcEngine, "TaskPool: task threw: %s", e.what());
        } catch (...) {
            qCWarning(lcEngine, "TaskPool: task threw");
        }
        // Destroy the task's captures before counting it as finished.
        task = nullptr;
        lock.lock();
        --m_executing;
    }
}
