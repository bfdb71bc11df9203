#pragma once

#include "QWindowDrag.h"

#include <QPoint>
#include <QRect>
#include <QWidget>

#include <functional>

class QFrame;
class QLabel;
class QPushButton;

// The small always-on-top bar of a running recording: the elapsed time, start/pause/resume on
// the right button, stop (or close, before a start) on the left one. It is the place where the
// recording manager is told to start, pause, resume and stop; what it shows is the manager's
// state, never one of its own.
class QFloatBar : public QWidget
{
    Q_OBJECT

public:
    enum class BarState : int
    {
        Idle = 0,
        Recording = 1,
        Paused = 2
    };

    explicit QFloatBar(QWidget* parent = nullptr);

    void startRecording();
    // Pauses a running recording without the click interval; does nothing otherwise.
    void pauseRecording();
    // Bottom-right corner of the working area of the screen being recorded (or under the pointer).
    void placeAtCorner();
    // Just below the recorded area's frame, right-aligned with it, kept on its screen. The area
    // is in X screen pixels, as the recording manager takes it.
    void placeNearArea(const QRect& area);

    BarState state() const;
    bool isStarted() const { return state() != BarState::Idle; }

    // What the bar asks of the recording manager; replaceable so the bar can be driven alone.
    struct Recorder
    {
        std::function<void()> start;
        std::function<void()> pause;
        std::function<void()> resume;
        std::function<void()> stop;
        // The recording's state as RecordState (Recording, Paused, Stopped for none).
        std::function<int()> state;
    };
    static void setRecorder(const Recorder& recorder);
    // The millisecond clock of the click interval (monotonic by default).
    static void setClock(const std::function<quint64()>& clock);

signals:
    void signal_pause();
    void signal_resume();
    void signal_stop();
    void signal_close();

public slots:
    void onBtnState1();
    void onBtnState2();
    void onTimeChanged(uint curTime);
    // Button looks and time field after the recording's state changed.
    void showState();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void buildForm();
    void setButtonClass(QPushButton* button, const char* value);

    QFrame* frame_ = nullptr;
    QLabel* labelRecordTime_ = nullptr;
    QPushButton* btnRecord_ = nullptr;
    QPushButton* btnClip_ = nullptr;

    QWindowDrag drag_;
};
