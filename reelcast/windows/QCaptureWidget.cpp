#include "QCaptureWidget.h"

#include "QScreenShot.h"

#include <QGuiApplication>
#include <QPainter>
#include <QRegion>
#include <QScreen>
#include <QTimer>

QCaptureWidget::QCaptureWidget(QWidget* parent) : QWidget(parent)
{
    setAttribute(Qt::WA_TranslucentBackground);
    setWindowFlags(Qt::Tool | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint);
}

void QCaptureWidget::showScreens()
{
    if (m_active)
        return;
    m_active = true;
    for (QScreen* screen : QGuiApplication::screens()) {
        QSharedPointer<QScreenShot> shot(new QScreenShot(screen));
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
