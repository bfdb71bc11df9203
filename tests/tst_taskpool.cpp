#include "TaskPool.h"

#include <QtTest>

#include <atomic>
#include <chrono>
#include <future>
#include <numeric>
#include <stdexcept>

// A gate that blocked tasks wait on until the test opens it.
class Gate
{
public:
    void wait()
    {
        std::unique_lock<std::mutex> lock(m_mutex);
        ++m_waiting;
        m_changed.notify_all();
        m_changed.wait(lock, [this] { return m_open; });
        --m_waiting;
    }
    void open()
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_open = true;
        m_changed.notify_all();
    }
    // Waits up to five seconds until `count` tasks wait at the gate.
    bool waitForWaiting(int count)
    {
        std::unique_lock<std::mutex> lock(m_mutex);
        return m_changed.wait_for(lock, std::chrono::seconds(5), [&] { return m_waiting >= count; });
    }
    int waiting()
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_waiting;
    }

private:
    std::mutex m_mutex;
    std::condition_variable m_changed;
    int m_waiting = 0;
    bool m_open = false;
};

class TestTaskPool : public QObject
{
    Q_OBJECT

private slots:
    void sixthTaskWaitsForAFreeWorker()
    {
        TaskPool pool;
        pool.start(5);
        Gate first;
        std::atomic<int> started{0};
        std::promise<void> sixthStarted;
        for (int i = 0; i < 5; ++i)
            pool.post([&] {
                ++started;
                first.wait();
            });
        pool.post([&] {
            ++started;
            sixthStarted.set_value();
        });
        QVERIFY(first.waitForWaiting(5));
        auto sixth = sixthStarted.get_future();
        QVERIFY(sixth.wait_for(std::chrono::milliseconds(300)) == std::future_status::timeout);
        QCOMPARE(started.load(), 5);
        QCOMPARE(pool.executingCount(), 5);
        QCOMPARE(pool.queuedCount(), 1);
        first.open();
        QVERIFY(sixth.wait_for(std::chrono::seconds(5)) == std::future_status::ready);
        pool.shutdown();
        QCOMPARE(started.load(), 6);
    }

    void tasksStartInPostedOrder()
    {
        TaskPool pool;
        std::vector<int> order;
        std::mutex orderMutex;
        // Posted before the worker exists, so the queue holds all of them.
        for (int i = 0; i < 20; ++i)
            pool.post([&, i] {
                std::lock_guard<std::mutex> lock(orderMutex);
                order.push_back(i);
            });
        pool.start(1);
        QTRY_COMPARE(pool.queuedCount(), 0);
        pool.shutdown();
        std::vector<int> expected(20);
        std::iota(expected.begin(), expected.end(), 0);
        QCOMPARE(order, expected);
    }

    void shutdownWaitsForRunningAndDropsQueued()
    {
        TaskPool pool;
        pool.start(2);
        Gate gate;
        std::atomic<int> ran{0};
        std::atomic<int> finished{0};
        for (int i = 0; i < 5; ++i)
            pool.post([&] {
                ++ran;
                gate.wait();
                ++finished;
            });
        QVERIFY(gate.waitForWaiting(2));
        QCOMPARE(pool.queuedCount(), 3);

        auto shutdown = std::async(std::launch::async, [&] { pool.shutdown(); });
        QVERIFY(shutdown.wait_for(std::chrono::milliseconds(300)) == std::future_status::timeout);
        gate.open();
        QVERIFY(shutdown.wait_for(std::chrono::seconds(5)) == std::future_status::ready);
        // Returned only after both running tasks ended; the three queued ones never ran.
        QCOMPARE(finished.load(), 2);
        QCOMPARE(ran.load(), 2);
        QCOMPARE(pool.queuedCount(), 0);
        QVERIFY(!pool.isRunning());
    }

    void taskPostedAfterShutdownNeverRuns()
    {
        TaskPool pool;
        pool.start(3);
        pool.shutdown();
        std::atomic<bool> ran{false};
        pool.post([&] { ran = true; });
        QTest::qWait(200);
        QVERIFY(!ran);
        QCOMPARE(pool.queuedCount(), 1);
        QCOMPARE(pool.executingCount(), 0);
    }

    void failingTaskLeavesWorkerAlive()
    {
        TaskPool pool;
        pool.start(1);
        std::atomic<bool> ran{false};
        pool.post([] { throw std::runtime_error("boom"); });
        pool.post([&] { ran = true; });
        QTRY_VERIFY(ran);
        pool.shutdown();
    }

    void startWhileRunningKeepsTheWorkers()
    {
        TaskPool pool;
        pool.start(2);
        pool.start(4);
        Gate gate;
        for (int i = 0; i < 4; ++i)
            pool.post([&] { gate.wait(); });
        QVERIFY(gate.waitForWaiting(2));
        QTest::qWait(200);
        QCOMPARE(gate.waiting(), 2);
        gate.open();
        pool.shutdown();
    }

    void shutdownFromATaskDoesNotDeadlock()
    {
        auto* pool = new TaskPool;
        pool->start(2);
        std::promise<void> done;
        pool->post([&] {
            pool->shutdown();
            done.set_value();
        });
        QVERIFY(done.get_future().wait_for(std::chrono::seconds(5)) == std::future_status::ready);
        QVERIFY(!pool->isRunning());
        // The detached worker still touches the pool on its way out; keep the pool alive.
    }
};

QTEST_GUILESS_MAIN(TestTaskPool)
#include "tst_taskpool.moc"
