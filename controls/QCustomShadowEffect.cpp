#include "QCustomShadowEffect.h"

#include <QImage>
#include <QPainter>

QT_BEGIN_NAMESPACE
// Qt's own image blur, exported by QtWidgets for effects like this one.
extern Q_WIDGETS_EXPORT void qt_blurImage(QPainter* p, QImage& blurImage, qreal radius, bool quality,
                                          bool alphaOnly, int transposed = 0);
QT_END_NAMESPACE

QCustomShadowEffect::QCustomShadowEffect(QObject* parent) : QGraphicsEffect(parent) {}

void QCustomShadowEffect::setDistance(double distance)
{
    distance_ = distance;
    updateBoundingRect();
}

double QCustomShadowEffect::distance() const
{
    return distance_;
}

void QCustomShadowEffect::setBlurRadius(double radius)
{
    blurRadius_ = radius;
    updateBoundingRect();
}

double QCustomShadowEffect::blurRadius() const
{
    return blurRadius_;
}

void QCustomShadowEffect::setColor(const QColor& color)
{
    color_ = color;
    update();
}

QColor QCustomShadowEffect::color() const
{
    return color_;
}

QRectF QCustomShadowEffect::boundingRectFor(const QRectF& rect) const
{
    const qreal d = blurRadius_ + distance_;
    return rect.united(rect.adjusted(-d, -d, d, d));
}

void QCustomShadowEffect::draw(QPainter* painter)
{
    if (blurRadius_ + distance_ <= 0) {
        drawSource(painter);
        return;
    }

    // Device coordinates, because the shadow is drawn with the identity transform: in logical
    // coordinates a widget that is not a window would get its shadow at the window's corner.
    QPoint offset;
    const QPixmap source =
        sourcePixmap(Qt::DeviceCoordinates, &offset, QGraphicsEffect::PadToEffectiveBoundingRect);
    if (source.isNull())
        return;

    const QTransform restoreTransform = painter->worldTransform();
    painter->setWorldTransform(QTransform());

    // The window's shape, grown by the distance on every side.
    const int d = static_cast<int>(distance_);
    const QSize size(source.width() + 2 * d, source.height() + 2 * d);
    QImage shape(size, QImage::Format_ARGB32_Premultiplied);
    shape.fill(0);
    QPainter shapePainter(&shape);
    shapePainter.setCompositionMode(QPainter::CompositionMode_Source);
    shapePainter.drawPixmap(QRect(QPoint(-d, -d), size), source);
    shapePainter.end();

    QImage blurred(size, QImage::Format_ARGB32_Premultiplied);
    blurred.fill(0);
    QPainter blurPainter(&blurred);
    qt_blurImage(&blurPainter, shape, blurRadius_, false, true);
    blurPainter.end();

    // Keep only the blurred alpha, in the shadow's colour.
    QPainter tintPainter(&blurred);
    tintPainter.setCompositionMode(QPainter::CompositionMode_SourceIn);
    tintPainter.fillRect(blurred.rect(), color_);
    tintPainter.end();

    painter->drawImage(offset, blurred);
    painter->drawPixmap(offset, source);
    painter->setWorldTransform(restoreTransform);
}
