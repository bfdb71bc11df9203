#pragma once

#include <QColor>
#include <QGraphicsEffect>

// A soft drop shadow around a frameless window: the window's own shape, grown, blurred and tinted.
class QCustomShadowEffect : public QGraphicsEffect
{
    Q_OBJECT

public:
    explicit QCustomShadowEffect(QObject* parent = nullptr);

    void setDistance(double distance);
    double distance() const;
    void setBlurRadius(double radius);
    double blurRadius() const;
    void setColor(const QColor& color);
    QColor color() const;

    QRectF boundingRectFor(const QRectF& rect) const override;

protected:
    void draw(QPainter* painter) override;

private:
    double distance_ = 4.0;
    double blurRadius_ = 10.0;
    QColor color_ = QColor(0, 0, 0, 80);
};
