#pragma once

#include <QPixmap>
#include <QRect>
#include <QWidget>

class QScreen;
class QScreenBar;

// One per screen: a frozen, dimmed picture of the screen on which the user clicks a window or
// drags out a rectangle, then moves and resizes it and confirms or cancels.
class QScreenShot : public QWidget
{
    Q_OBJECT
public:
    enum HitRegion
    {
        None = 0,
        Move = 1,
        Left = 10,
        Right = 11,
        Top = 12,
        TopLeft = 13,
        TopRight = 14,
        Bottom = 15,
        BottomLeft = 16,
        BottomRight = 17
    };

    explicit QScreenShot(QScreen* screen, QWidget* parent = nullptr);

    // The frozen picture where the screen cannot be grabbed (a Wayland desktop's cast): `picture`
    // shows the desktop's logical rectangle `area`.
    void setDesktopPicture(const QImage& picture, const QRect& area);

    // The selection in global screen pixels (what the encoder records), clipped to this screen.
    QRect selectedRect() const;
    // The drawn outline in global (widget) coordinates.
    QRect frameRect() const;

signals:
    void accept(QScreenShot* screen);
    void reject();
    void locked(QScreenShot* screen);

public slots:
    void onLocked(QScreenShot* screen);

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void leaveEvent(QEvent* event) override;
    void paintEvent(QPaintEvent* event) override;

private:
    QRect currentRect() const;
    float scaleFactor();
    qreal pixelRatio() const;
    void updateHoveredWindow();
    void hoverTest(const QPoint& pos);
    void moveOrResize(const QPoint& pos);
    void drawSizeLabel(QPainter& painter, const QRect& r);
    void placeToolbar();

    QPixmap m_picture;
    QScreen* m_screen;
    bool m_pressed = false;
    bool m_selected = false;
    bool m_locked = false;
    float m_scale = 0;
    HitRegion m_hitRegion = None;
    QPoint m_lastPoint;
    QRect m_screenGeometry;
    QRect m_hoveredWindow;
    QRect m_frame;
    QRect m_rubberBand;
    QRect m_selection;
    QScreenBar* m_toolbar = nullptr;
};
