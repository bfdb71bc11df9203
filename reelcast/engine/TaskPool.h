#pragma once

#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

// The process's pool of worker threads for everything that blocks (encoder runs, merge,
// save, clean-up, watermark rendering), so the interface thread never waits.
//
// Tasks start in the order they were posted; a later task may finish first. Tasks still
// queued when the pool shuts down are dropped, and tasks posted after it has shut down stay
// queued without running.
class TaskPool
{
public:
    using Task = std::function<void()>;

    // The process-wide pool, created on first use without workers.
    static TaskPool* instance();

    TaskPool() = default;
    // Shuts the pool down (waiting for the running tasks) if that has not happened yet.
    ~TaskPool();
    TaskPool(const TaskPool&) = delete;
    TaskPool& operator=(const TaskPool&) = delete;

    // Creates `workers` worker threads and lets them take tasks. Ignored while the pool runs.
    void start(int workers);
    // Appends a task to the queue and wakes one waiting worker.
    void post(Task task);
    // Stops taking tasks, drops the queued ones and returns when the running tasks have ended.
    void shutdown();

    bool isRunning() const;
    int queuedCount() const;
    int executingCount() const;

private:
    void workerLoop();

    mutable std::mutex m_mutex;
    std::condition_variable m_wake;
    std::deque<Task> m_queue;
    std::vector<std::thread> m_workers;
    bool m_running = false;
    int m_executing = 0;
};
