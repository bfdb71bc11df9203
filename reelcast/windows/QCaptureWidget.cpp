#include "QCaptureWidget.h"

#include "HMessageBox.h"
#include "QMediaManager.h"
#include "QScreenCast.h"
#include "QScreenShot.h"
#include "RecordTypes.h"

#include <QGuiApplication>
#include <QPainter>
#include <QRegion>
#include <QScreen>
#include <QTimer>

QCaptureWidget::QCaptureWidget(QWidget* parent) : QWidget(parent)
{
    setAttribute(Qt::WA_TranslucentBackground);
    setWindowFlags(Qt::Tool | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint);
    QScreenCast* cast = QMediaManager::instance()->screenCast();
    connect(cast, &QScreenCast::opened, this, [this, cast] {
        if (m_waitingForCast)
            cast->takeSnapshot();
    });
    connect(cast, &QScreenCast::snapshot_taken, this, [this, cast](QImage picture) {
        if (!m_waitingForCast)
            return;
        m_waitingForCast = false;
        openScreens(picture, cast->monitorRect());
    });
    auto givenUp = [this](const QString& msg) {
        if (!m_waitingForCast)
            return;
        m_waitingForCast = false;
        m_active = false;
        if (!msg.isEmpty())
            HMessageBox::message(nullptr, msg, tr("提示"), 1);
    };
    connect(cast, &QScreenCast::cancelled, this, [givenUp] { givenUp(QString()); });
    connect(cast, &QScreenCast::failed, this, givenUp);
}

void QCaptureWidget::showScreens()
{
    if (m_active)
        return;
    m_active = true;
    if (QScreenCast::needed(Area)) {
        showScreensOfCast();
        return;
    }
    openScreens(QImage(), QRect());
}

void QCaptureWidget::showScreensOfCast()
{
    // The permission asked here is the one the recording then keeps: no second dialog.
    QScreenCast* cast = QMediaManager::instance()->screenCast();
    m_waitingForCast = true;
    if (cast->isOpenFor(Area))
        cast->takeSnapshot();
    else
        cast->open(Area);
}

void QCaptureWidget::openScreens(const QImage& picture, const QRect& area)
{
    for (QScreen* screen : QGuiApplication::screens()) {
        QSharedPointer<QScreenShot> shot(new QScreenShot(screen));
        shot->setDesktopPicture(picture, area);
        connect(shot.data(), &QScreenShot::accept, this, &QCaptureWidget::onAccept);
        connect(shot.data(), &QScreenShot::reject, this, &QCaptureWidget::onReject);
        connect(shot.data(), &QScreenShot::locked, this, &QCaptureWidget::onLocked);
        connect(this, &QCaptureWidget::locked, shot.data(), &QScreenShot::onLocked);
        shot->show();
        m_screens.append(shot);
    }
}

void QCaptureWidget::closeScreens()
{
    m_active = false;
    hideScreens();
    hide();
}

void QCaptureWidget::hideScreens()
{
    if (m_screens.isEmpty())
        return;
    for (const auto& shot : m_screens)
        shot->hide();
    // The list travels into the timer: a new selection may start before it fires.
    QList<QSharedPointer<QScreenShot>> released;
    released.swap(m_screens);
    QTimer::singleShot(50, this, [released]() mutable { released.clear(); });
}

void QCaptureWidget::onAccept(QScreenShot* screen)
{
    emit selected(screen->selectedRect());
    const QRect f = screen->frameRect();
    setGeometry(f.adjusted(-1, -1, 1, 1));
    hideScreens();
    show();
}

void QCaptureWidget::onReject()
{
    m_active = false;
    hideScreens();
    // No recording will use the cast opened for the selection.
    if (QMediaManager::instance()->isIdle())
        QMediaManager::instance()->screenCast()->close();
}

void QCaptureWidget::onLocked(QScreenShot* screen)
{
    emit locked(screen);
}

void QCaptureWidget::resizeEvent(QResizeEvent*)
{
    // Without a compositing manager a translucent window is not see-through: cut the inside out of
    // the window itself so that neither the screen nor the recording shows anything but the frame.
    setMask(QRegion(rect()).subtracted(QRegion(rect().adjusted(2, 2, -2, -2))));
}

void QCaptureWidget::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    // Square corners: a bevelled one would leave the outermost pixel unpainted inside the mask.
    painter.setPen(QPen(QColor(255, 0, 0, 255), 2, Qt::SolidLine, Qt::SquareCap, Qt::MiterJoin));
    painter.setBrush(Qt::transparent);
    painter.drawRect(1, 1, width() - 2, height() - 2);
}
