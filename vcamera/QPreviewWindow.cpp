#include "QPreviewWindow.h"

#include <QGuiApplication>
#include <QPainter>
#include <QScreen>

namespace {

const int kWidth = 480;
const int kMargin = 24;

} // namespace

QPreviewWindow::QPreviewWindow(const QString& cameraName, QWidget* parent)
    : QWidget(parent, Qt::Window | Qt::WindowStaysOnTopHint)
{
    setObjectName(QStringLiteral("previewWindow"));
    setWindowTitle(cameraName.isEmpty() ? tr("摄像头预览") : tr("摄像头预览 - %1").arg(cameraName));
    setAttribute(Qt::WA_OpaquePaintEvent);
    setMinimumSize(160, 90);
    resize(kWidth, kWidth * 9 / 16);
    // Bottom right, out of the way of what is being recorded.
    if (QScreen* screen = QGuiApplication::primaryScreen()) {
        const QRect area = screen->availableGeometry();
        move(area.right() - width() - kMargin, area.bottom() - height() - kMargin);
    }
}

void QPreviewWindow::showFrame(const QImage& frame)
{
    frame_ = frame;
    if (!sized_ && !frame.isNull()) {
        // Match the camera's proportions once; the user may resize afterwards.
        sized_ = true;
        const QPoint bottomRight = geometry().bottomRight();
        resize(kWidth, qMax(1, kWidth * frame.height() / frame.width()));
        move(bottomRight.x() - width() + 1, bottomRight.y() - height() + 1);
    }
    update();
}

void QPreviewWindow::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.fillRect(rect(), Qt::black);
    if (frame_.isNull()) {
        painter.setPen(QColor(0xcc, 0xcc, 0xcc));
        painter.drawText(rect(), Qt::AlignCenter, tr("正在打开摄像头…"));
        return;
    }
    const QSize size = frame_.size().scaled(this->size(), Qt::KeepAspectRatio);
    const QRect target(QPoint((width() - size.width()) / 2, (height() - size.height()) / 2), size);
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    painter.drawImage(target, frame_);
}
