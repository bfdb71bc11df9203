// Floating recording bar: the click interval on its clock, the states with their button looks
// and what the recording manager is asked, placement next to an area and dragging by the time.
#include "QFloatBar.h"
#include "QMediaManager.h"
#include "QSkin.h"
#include "TestEnvironment.h"

#include <QLabel>
#include <QMouseEvent>
#include <QPushButton>
#include <QScreen>
#include <QSignalSpy>
#include <QtTest>

#include <memory>

namespace {

quint64 g_now = 1000000;
QStringList g_log;
int g_state = Stopped;

QString buttonClass(QFloatBar* bar, const char* name)
{
    return bar->findChild<QPushButton*>(QLatin1String(name))->property("class").toString();
}

QString shownTime(QFloatBar* bar)
{
    return bar->findChild<QLabel*>(QStringLiteral("labelRecordTime"))->text();
}

void sendMouse(QWidget* target, QEvent::Type type, const QPoint& global, Qt::MouseButtons buttons)
{
    const Qt::MouseButton button = type == QEvent::MouseMove ? Qt::NoButton : Qt::LeftButton;
    QMouseEvent event(type, target->mapFromGlobal(global), global, button, buttons, Qt::NoModifier);
    QCoreApplication::sendEvent(target, &event);
}

} // namespace

class TestFloatBar : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();

    void clickInterval_data();
    void clickInterval();
    void statesAndRequests();
    void placeNearArea_data();
    void placeNearArea();
    void dragByTimeField();

private:
    std::unique_ptr<TestEnvironment> env_;
    std::unique_ptr<QFloatBar> bar_;
};

void TestFloatBar::initTestCase()
{
    env_.reset(new TestEnvironment());
    QSkin::init();
    // Registered before the bars are made, as at start-up, so they hear the elapsed time.
    QMediaManager::instance();
    QFloatBar::setClock([] { return g_now; });
    QFloatBar::Recorder recorder;
    // A recorder that refuses a pause while "busy", as the manager does while it finishes.
    recorder.start = [] { g_log << QStringLiteral("start"), g_state = Recording; };
    recorder.pause = [] {
        g_log << QStringLiteral("pause"), g_state = g_state == Recording ? Paused : g_state;
    };
    recorder.resume = [] { g_log << QStringLiteral("resume"), g_state = Recording; };
    recorder.stop = [] { g_log << QStringLiteral("stop"), g_state = Stopped; };
    recorder.state = [] { return g_state; };
    QFloatBar::setRecorder(recorder);
}

void TestFloatBar::init()
{
    // Far from any earlier accepted click.
    g_now += 100000;
    g_log.clear();
    g_state = Stopped;
    bar_.reset(new QFloatBar());
}

void TestFloatBar::clickInterval_data()
{
    QTest::addColumn<quint64>("gap");
    QTest::addColumn<QStringList>("requests");
    QTest::newRow("599 ms") << quint64(599) << QStringList{"start"};
    QTest::newRow("600 ms") << quint64(600) << QStringList{"start", "pause"};
}

void TestFloatBar::clickInterval()
{
    QFETCH(quint64, gap);
    QFETCH(QStringList, requests);
    bar_->onBtnState1();
    g_now += gap;
    bar_->onBtnState1();
    QCOMPARE(g_log, requests);

    // A start within the interval of the last accepted click asks for nothing.
    g_state = Stopped;
    g_now += 5000;
    bar_->onBtnState1();
    g_log.clear();
    g_state = Stopped;
    g_now += 599;
    bar_->startRecording();
    QCOMPARE(bar_->state(), QFloatBar::BarState::Idle);
    QVERIFY(g_log.isEmpty());
}

void TestFloatBar::statesAndRequests()
{
    QSignalSpy pause(bar_.get(), &QFloatBar::signal_pause);
    QSignalSpy resume(bar_.get(), &QFloatBar::signal_resume);
    QSignalSpy close(bar_.get(), &QFloatBar::signal_close);
    // The main window must hear of the stop before the manager is asked.
    connect(bar_.get(), &QFloatBar::signal_stop, this, [] { g_log << QStringLiteral("signal_stop"); });
    bar_->show();

    QCOMPARE(buttonClass(bar_.get(), "btnClip"), QStringLiteral("btn_clip"));
    QCOMPARE(buttonClass(bar_.get(), "btnRecord"), QStringLiteral("btn_close"));
    bar_->onBtnState2();
    QCOMPARE(close.count(), 1);
    QVERIFY(g_log.isEmpty());

    bar_->startRecording();
    QCOMPARE(bar_->state(), QFloatBar::BarState::Recording);
    QCOMPARE(buttonClass(bar_.get(), "btnClip"), QStringLiteral("btn_pause"));
    QCOMPARE(buttonClass(bar_.get(), "btnRecord"), QStringLiteral("btn_stop"));
    emit QMediaManager::instance()->time_changed(3725);
    QCOMPARE(shownTime(bar_.get()), QStringLiteral("01:02:05"));

    // The pause of a hot key or the window ignores the interval.
    bar_->pauseRecording();
    QCOMPARE(bar_->state(), QFloatBar::BarState::Paused);
    QCOMPARE(buttonClass(bar_.get(), "btnClip"), QStringLiteral("btn_continue"));
    bar_->pauseRecording();
    QCOMPARE(pause.count(), 1);

    g_now += 600;
    QTest::mouseClick(bar_->findChild<QPushButton*>(QStringLiteral("btnClip")), Qt::LeftButton);
    QCOMPARE(bar_->state(), QFloatBar::BarState::Recording);
    QCOMPARE(resume.count(), 1);
    g_now += 600;
    bar_->onBtnState1();

    bar_->onBtnState2();
    QCOMPARE(g_log, (QStringList{"start", "pause", "resume", "pause", "signal_stop", "stop"}));
    QCOMPARE(bar_->state(), QFloatBar::BarState::Idle);
    QVERIFY(!bar_->isStarted());
    QCOMPARE(buttonClass(bar_.get(), "btnClip"), QStringLiteral("btn_clip"));
    QCOMPARE(buttonClass(bar_.get(), "btnRecord"), QStringLiteral("btn_close"));
    QCOMPARE(shownTime(bar_.get()), QStringLiteral("00:00:00"));
    QCOMPARE(close.count(), 1);

    // The bar shows the recorder's state, not its own: a recording that ended without the bar
    // (a failed run) leaves it idle, and a start while the recorder is busy asks only for a start.
    g_now += 600;
    bar_->startRecording();
    g_state = Stopped;
    emit QMediaManager::instance()->idle();
    QCOMPARE(buttonClass(bar_.get(), "btnClip"), QStringLiteral("btn_clip"));
    QCOMPARE(buttonClass(bar_.get(), "btnRecord"), QStringLiteral("btn_close"));
    g_now += 600;
    g_state = Paused;
    g_log.clear();
    bar_->startRecording();
    QVERIFY(g_log.isEmpty());
}

void TestFloatBar::placeNearArea_data()
{
    QTest::addColumn<QRect>("area");
    QTest::addColumn<QPoint>("expected");
    // The offscreen screen is 800 x 600, the bar 219 x 48.
    QTest::newRow("high on screen: 2 px below the frame, right-aligned")
        << QRect(100, 100, 300, 200) << QPoint(181, 302);
    QTest::newRow("reaching the bottom and the right edge: inside, on screen")
        << QRect(500, 400, 300, 200) << QPoint(580, 551);
    QTest::newRow("one px more than a bar height left: below")
        << QRect(100, 100, 300, 450) << QPoint(181, 552);
    QTest::newRow("exactly a bar height left: inside") << QRect(100, 100, 300, 451) << QPoint(181, 502);
}

void TestFloatBar::placeNearArea()
{
    QFETCH(QRect, area);
    QFETCH(QPoint, expected);
    QCOMPARE(QGuiApplication::primaryScreen()->geometry(), QRect(0, 0, 800, 600));
    QCOMPARE(bar_->size(), QSize(219, 48));
    bar_->placeNearArea(area);
    QCOMPARE(bar_->pos(), expected);
}

void TestFloatBar::dragByTimeField()
{
    bar_->move(100, 100);
    bar_->show();
    QVERIFY(QTest::qWaitForWindowExposed(bar_.get()));
    QWidget* timeField = bar_->findChild<QFrame*>(QStringLiteral("frame"));
    const QPoint start = timeField->mapToGlobal(QPoint(10, 10));
    sendMouse(timeField, QEvent::MouseButtonPress, start, Qt::LeftButton);
    sendMouse(timeField, QEvent::MouseMove, start + QPoint(30, 40), Qt::LeftButton);
    QCOMPARE(bar_->pos(), QPoint(130, 140));
    sendMouse(timeField, QEvent::MouseButtonRelease, start + QPoint(30, 40), Qt::NoButton);
    sendMouse(timeField, QEvent::MouseMove, start + QPoint(60, 60), Qt::NoButton);
    QCOMPARE(bar_->pos(), QPoint(130, 140));

    // A press on a button is a click, not a drag.
    QPushButton* clip = bar_->findChild<QPushButton*>(QStringLiteral("btnClip"));
    const QPoint onButton = clip->mapToGlobal(clip->rect().center());
    sendMouse(clip, QEvent::MouseButtonPress, onButton, Qt::LeftButton);
    sendMouse(clip, QEvent::MouseMove, onButton + QPoint(30, 0), Qt::LeftButton);
    QCOMPARE(bar_->pos(), QPoint(130, 140));
}

QTEST_MAIN(TestFloatBar)
#include "tst_floatbar.moc"
