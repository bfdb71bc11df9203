#include "QFloatBar.h"

#include "QEventManager.h"
#include "QMediaManager.h"
#include "QSkin.h"
#include "QVideoSettings.h"
#include "Utilities.h"

#include <QCursor>
#include <QElapsedTimer>
#include <QFrame>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QScreen>
#include <QVBoxLayout>

namespace {

// Clicks closer than this to the last accepted one are ignored, so a double click does not
// pause and resume at once.
constexpr quint64 clickIntervalMs = 600;

// Process-wide, like the tick count it is compared with.
quint64 s_lastClick = 0;

quint64 monotonicMs()
{
    QElapsedTimer timer;
    timer.start();
    return static_cast<quint64>(timer.msecsSinceReference());
}

std::function<quint64()>& tickClock()
{
    static std::function<quint64()> c = monotonicMs;
    return c;
}

QFloatBar::Recorder& recorder()
{
    static QFloatBar::Recorder r;
    return r;
}

int recorderState()
{
    if (recorder().state)
        return recorder().state();
    const QMediaManager* manager = QMediaManager::instance();
    // A recording being finished has nothing left to pause or stop.
    return manager->isIdle() || manager->isFinishing() ? Stopped : manager->state();
}

void call(const std::function<void()>& f, void (QMediaManager::*fallback)())
{
    if (f)
        f();
    else
        (QMediaManager::instance()->*fallback)();
}

// The screen holding `point`; the primary one when the point lies on none.
QScreen* screenFor(const QPoint& point)
{
    QScreen* screen = QGuiApplication::screenAt(point);
    return screen ? screen : QGuiApplication::primaryScreen();
}

// An area in X screen pixels, as the recording manager takes it, in the screens' own
// coordinates: Qt keeps each screen's top-left corner at its pixel position and scales about it.
QRect fromScreenPixels(const QRect& area)
{
    for (const QScreen* screen : QGuiApplication::screens()) {
        const QRect g = screen->geometry();
        const qreal ratio = screen->devicePixelRatio();
        if (QRect(g.topLeft(), g.size() * ratio).contains(area.topLeft())) {
            const QPoint offset = area.topLeft() - g.topLeft();
            return QRect(g.topLeft() + QPoint(qRound(offset.x() / ratio), qRound(offset.y() / ratio)),
                         QSize(qRound(area.width() / ratio), qRound(area.height() / ratio)));
        }
    }
    return area;
}

} // namespace

void QFloatBar::setRecorder(const Recorder& r)
{
    recorder() = r;
}

void QFloatBar::setClock(const std::function<quint64()>& c)
{
    tickClock() = c ? c : std::function<quint64()>(monotonicMs);
}

QFloatBar::QFloatBar(QWidget* parent) : QWidget(parent)
{
    buildForm();
    setAttribute(Qt::WA_TranslucentBackground);
    setAttribute(Qt::WA_AlwaysShowToolTips);
    setWindowFlags(Qt::Tool | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint);
    setStyleSheet(QSkin::styleSheet(QStringLiteral(":/qss/FloatBar.css")));
    showState();

    frame_->setMouseTracking(true);
    frame_->installEventFilter(this);
    connect(btnClip_, &QPushButton::clicked, this, &QFloatBar::onBtnState1);
    connect(btnRecord_, &QPushButton::clicked, this, &QFloatBar::onBtnState2);
    QEventManager::instance()->connectSignal(MediaManager, SIGNAL(time_changed(quint32)), this,
                                             SLOT(onTimeChanged(uint)));
    // A recording can end without the bar: a failed run, a cast the desktop closed, a refused start.
    QEventManager::instance()->connectSignal(MediaManager, SIGNAL(idle()), this, SLOT(showState()));
    QEventManager::instance()->connectSignal(MediaManager, SIGNAL(record_error(QString)), this,
                                             SLOT(showState()));
}

void QFloatBar::buildForm()
{
    setObjectName(QStringLiteral("QFloatBar"));
    resize(219, 48);
    auto* outer = new QHBoxLayout(this);
    outer->setSpacing(0);
    outer->setContentsMargins(0, 0, 0, 0);
    auto* frameMain = new QFrame(this);
    frameMain->setObjectName(QStringLiteral("frameMain"));
    frameMain->setMinimumHeight(48);
    frameMain->setFrameShape(QFrame::StyledPanel);
    frameMain->setFrameShadow(QFrame::Raised);
    outer->addWidget(frameMain);

    auto* row = new QHBoxLayout(frameMain);
    row->setObjectName(QStringLiteral("horizontalLayout_2"));
    row->setSpacing(0);
    row->setContentsMargins(0, 0, 0, 0);

    frame_ = new QFrame(frameMain);
    frame_->setObjectName(QStringLiteral("frame"));
    frame_->setFixedWidth(120);
    frame_->setCursor(Qt::SizeAllCursor);
    frame_->setFrameShape(QFrame::StyledPanel);
    frame_->setFrameShadow(QFrame::Raised);
    auto* timeLayout = new QVBoxLayout(frame_);
    timeLayout->setSpacing(0);
    timeLayout->setContentsMargins(0, 8, 0, 8);
    labelRecordTime_ = new QLabel(QStringLiteral("00:00:00"), frame_);
    labelRecordTime_->setObjectName(QStringLiteral("labelRecordTime"));
    labelRecordTime_->setAlignment(Qt::AlignCenter);
    timeLayout->addWidget(labelRecordTime_);
    row->addWidget(frame_);

    btnRecord_ = new QPushButton(frameMain);
    btnRecord_->setObjectName(QStringLiteral("btnRecord"));
    btnRecord_->setFixedWidth(48);
    btnRecord_->setCursor(Qt::PointingHandCursor);
    btnRecord_->setFocusPolicy(Qt::NoFocus);
    row->addWidget(btnRecord_);

    auto* line = new QFrame(frameMain);
    line->setObjectName(QStringLiteral("line"));
    line->setFrameShape(QFrame::VLine);
    line->setFrameShadow(QFrame::Sunken);
    line->setFixedWidth(1);
    row->addWidget(line);

    btnClip_ = new QPushButton(frameMain);
    btnClip_->setObjectName(QStringLiteral("btnClip"));
    btnClip_->setFixedWidth(48);
    btnClip_->setCursor(Qt::PointingHandCursor);
    btnClip_->setFocusPolicy(Qt::NoFocus);
    row->addWidget(btnClip_);
}

void QFloatBar::setButtonClass(QPushButton* button, const char* value)
{
    QSkin::setProperty(button, "class", QString::fromLatin1(value));
}

QFloatBar::BarState QFloatBar::state() const
{
    switch (recorderState()) {
    case Recording:
        return BarState::Recording;
    case Paused:
        return BarState::Paused;
    default:
        return BarState::Idle;
    }
}

void QFloatBar::showState()
{
    const BarState s = state();
    setButtonClass(btnClip_, s == BarState::Recording ? "btn_pause"
                             : s == BarState::Paused  ? "btn_continue"
                                                      : "btn_clip");
    setButtonClass(btnRecord_, s == BarState::Idle ? "btn_close" : "btn_stop");
    if (s == BarState::Idle)
        labelRecordTime_->setText(QStringLiteral("00:00:00"));
}

void QFloatBar::onBtnState1()
{
    const quint64 now = tickClock()();
    if (now - s_lastClick < clickIntervalMs)
        return;
    s_lastClick = now;

    switch (state()) {
    case BarState::Idle:
        labelRecordTime_->setText(QStringLiteral("00:00:00"));
        call(recorder().start, &QMediaManager::start);
        break;
    case BarState::Recording:
        call(recorder().pause, &QMediaManager::pause);
        if (state() == BarState::Paused)
            emit signal_pause();
        break;
    case BarState::Paused:
        call(recorder().resume, &QMediaManager::resume);
        if (state() == BarState::Recording)
            emit signal_resume();
        break;
    }
    showState();
}

void QFloatBar::onBtnState2()
{
    if (isStarted()) {
        // The main window relies on hearing of the stop before the manager is asked.
        emit signal_stop();
        call(recorder().stop, &QMediaManager::stop);
        showState();
    } else {
        emit signal_close();
        labelRecordTime_->setText(QStringLiteral("00:00:00"));
    }
}

void QFloatBar::onTimeChanged(uint curTime)
{
    labelRecordTime_->setText(formatDuration(curTime));
}

void QFloatBar::startRecording()
{
    if (state() == BarState::Idle)
        onBtnState1();
}

void QFloatBar::pauseRecording()
{
    if (state() != BarState::Recording)
        return;
    call(recorder().pause, &QMediaManager::pause);
    showState();
    if (state() == BarState::Paused)
        emit signal_pause();
}

void QFloatBar::placeAtCorner()
{
    const QPoint point = QVideoSettings::getMode() == FullScreen
                             ? QMediaManager::instance()->rect().topLeft() + QPoint(1, 1)
                             : QCursor::pos();
    const QRect a = screenFor(point)->availableGeometry();
    move(a.x() + a.width() - width(), a.y() + a.height() - height());
}

void QFloatBar::placeNearArea(const QRect& area)
{
    const QRect rect = fromScreenPixels(area);
    const QRect f(rect.x() - 1, rect.y() - 1, rect.width() + 2, rect.height() + 2);
    const QRect g = screenFor(rect.topLeft())->geometry();
    const int x = qMin(f.right() - width(), g.right() - width());
    int y;
    if (g.bottom() - f.bottom() > height())
        y = f.bottom() + 2;
    else
        y = qMin(f.bottom() - height() - 1, g.bottom() - height());
    move(x, y);
}

bool QFloatBar::eventFilter(QObject* watched, QEvent* event)
{
    if (drag_.handle(this, event))
        return true;
    return QWidget::eventFilter(watched, event);
}
