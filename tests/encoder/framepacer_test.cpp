// The picture's frame slots on the adapter's clock: whatever the grabs' timing, every slot up to
// the last grab gets exactly one frame, and a late grab leaves the slots it missed to the frame
// before it.
#include "FramePacer.h"

#include <QVector>
#include <QtTest>

namespace {

constexpr int64_t kMs = 1'000'000;

struct Out
{
    int64_t repeats;
    int64_t copies;
};

} // namespace

Q_DECLARE_METATYPE(QVector<int64_t>)
Q_DECLARE_METATYPE(QVector<Out>)

class TestFramePacer : public QObject
{
    Q_OBJECT

private slots:
    void everySlotOnce_data()
    {
        QTest::addColumn<QVector<int64_t>>("grabsMs"); // 50 ms frames
        QTest::addColumn<QVector<Out>>("expected");
        QTest::newRow("on time") << QVector<int64_t>{0, 50, 100} << QVector<Out>{{0, 1}, {0, 1}, {0, 1}};
        QTest::newRow("late within its slot")
            << QVector<int64_t>{3, 99, 149} << QVector<Out>{{0, 1}, {0, 1}, {0, 1}};
        QTest::newRow("first grab late fills the start")
            << QVector<int64_t>{120, 150} << QVector<Out>{{0, 3}, {0, 1}};
        QTest::newRow("late grab repeats the one before")
            << QVector<int64_t>{0, 50, 260, 300} << QVector<Out>{{0, 1}, {0, 1}, {3, 1}, {0, 1}};
        // A wake-up before the due time must not serve a slot twice.
        QTest::newRow("early") << QVector<int64_t>{0, 20, 40} << QVector<Out>{{0, 1}, {0, 1}, {0, 1}};
        QTest::newRow("before the origin") << QVector<int64_t>{-30, 50} << QVector<Out>{{0, 1}, {0, 1}};
    }

    void everySlotOnce()
    {
        QFETCH(QVector<int64_t>, grabsMs);
        QFETCH(QVector<Out>, expected);
        FramePacer pacer(50 * kMs);
        int64_t frames = 0;
        for (int i = 0; i < grabsMs.size(); ++i) {
            const FramePacer::Step step = pacer.take(grabsMs[i] * kMs);
            QCOMPARE(step.repeats, expected[i].repeats);
            QCOMPARE(step.copies, expected[i].copies);
            frames += step.repeats + step.copies;
            QCOMPARE(frames, pacer.served());
            QVERIFY(pacer.nextDueNs() > grabsMs[i] * kMs);
        }
    }
};

QTEST_GUILESS_MAIN(TestFramePacer)
#include "framepacer_test.moc"
