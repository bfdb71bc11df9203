#include "QScreenShot.h"

#include "PlatformSession.h"
#include "PlatformWindow.h"
#include "QScreenBar.h"

#include <QCursor>
#include <QImage>
#include <QMouseEvent>
#include <QPainter>
#include <QScreen>

#include <algorithm>
#include <cmath>

QScreenShot::QScreenShot(QScreen* screen, QWidget* parent) : QWidget(parent), m_screen(screen)
{
    setAttribute(Qt::WA_TranslucentBackground);
    setWindowFlags(Qt::Tool | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint);
    setCursor(Qt::CrossCursor);

    m_screenGeometry = screen->geometry();
    // At a device pixel ratio above 1 the grab has the screen's full pixel count and carries the
    // ratio, so it is drawn sharp.
    if (platform::waylandSession()) {
        // XWayland's root is black; the desktop's cast brings the picture (setDesktopPicture).
        m_picture = QPixmap(m_screenGeometry.size() * screen->devicePixelRatio());
        m_picture.setDevicePixelRatio(screen->devicePixelRatio());
        m_picture.fill(Qt::black);
    } else {
        m_picture = screen->grabWindow(0, 0, 0, m_screenGeometry.width(), m_screenGeometry.height());
    }
    setGeometry(m_screenGeometry);
    setMouseTracking(true);

    updateHoveredWindow();
    m_toolbar = new QScreenBar(this);
    connect(m_toolbar, &QScreenBar::apply, this, [this] { emit accept(this); });
    connect(m_toolbar, &QScreenBar::reject, this, &QScreenShot::reject);
}

void QScreenShot::setDesktopPicture(const QImage& picture, const QRect& area)
{
    const QRect shown = area.intersected(m_screenGeometry);
    if (picture.isNull() || shown.isEmpty())
        return;
    // The cast's pixels may be more than its logical size (fractional scaling).
    const qreal sx = qreal(picture.width()) / area.width();
    const qreal sy = qreal(picture.height()) / area.height();
    const QRectF source((shown.x() - area.x()) * sx, (shown.y() - area.y()) * sy, shown.width() * sx,
                        shown.height() * sy);
    QPainter painter(&m_picture);
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    painter.drawImage(QRectF(shown.translated(-m_screenGeometry.topLeft())), picture, source);
    update();
}

qreal QScreenShot::pixelRatio() const
{
    return m_screen ? m_screen->devicePixelRatio() : 1.0;
}

// Screen pixels and widget coordinates differ by the device pixel ratio, scaled about the screen's
// top-left corner, which Qt keeps at its pixel position.
QRect QScreenShot::selectedRect() const
{
    const qreal ratio = pixelRatio();
    const QPoint origin = m_screenGeometry.topLeft();
    const QPoint global = mapToGlobal(m_selection.topLeft());
    const QRect g(origin + (global - origin) * ratio, m_selection.size() * ratio);
    const QRect s(origin, m_screenGeometry.size() * ratio);
    const int x = std::max(g.x(), s.x());
    const int y = std::max(g.y(), s.y());
    const int right = std::min(g.right(), s.right());
    const int bottom = std::min(g.bottom(), s.bottom());
    return QRect(x, y, right - x, bottom - y);
}

QRect QScreenShot::frameRect() const
{
    return QRect(mapToGlobal(m_frame.topLeft()), m_frame.size());
}

void QScreenShot::onLocked(QScreenShot* screen)
{
    if (screen == this)
        return;
    m_selection = QRect();
    m_rubberBand = QRect();
    m_hoveredWindow = QRect();
    m_frame = QRect();
    m_locked = true;
    update();
}

QRect QScreenShot::currentRect() const
{
    if (!m_selection.isEmpty())
        return m_selection;
    if (m_pressed && m_rubberBand.width() >= 2 && m_rubberBand.height() >= 2)
        return m_rubberBand;
    return m_hoveredWindow;
}

float QScreenShot::scaleFactor()
{
    // The height in screen pixels: the label keeps its proportion to the fixed-size text also at a
    // device pixel ratio above 1.
    if (m_scale == 0)
        m_scale = static_cast<float>(m_screenGeometry.height() * pixelRatio()) / 1080.0f;
    return m_scale;
}

void QScreenShot::updateHoveredWindow()
{
    // An X client sees no native window of a Wayland desktop: the area is dragged there.
    if (platform::waylandSession())
        return;
    const auto handle = static_cast<std::uintptr_t>(winId());
    platform::enableWindow(handle, false);
    QRect found;
    platform::WindowRect r;
    if (m_screenGeometry.contains(QCursor::pos()) && platform::windowRectUnderCursor(r)) {
        const qreal ratio = pixelRatio();
        const QPoint origin = m_screenGeometry.topLeft();
        const QPoint topLeft(origin.x() + static_cast<int>(std::floor((r.x - origin.x()) / ratio)),
                             origin.y() + static_cast<int>(std::floor((r.y - origin.y()) / ratio)));
        found = QRect(topLeft, QSize(static_cast<int>(std::ceil(r.width / ratio)),
                                     static_cast<int>(std::ceil(r.height / ratio))));
    }
    platform::enableWindow(handle, true);
    m_hoveredWindow = found.isEmpty() ? QRect() : QRect(mapFromGlobal(found.topLeft()), found.size());
    update();
}

void QScreenShot::mousePressEvent(QMouseEvent* event)
{
    if (event->button() != Qt::LeftButton || m_locked)
        return;
    m_pressed = true;
    m_lastPoint = event->pos();
}

void QScreenShot::mouseMoveEvent(QMouseEvent* event)
{
    if (m_locked)
        return;
    const QPoint pos = event->pos();
    if (m_selected) {
        if (m_pressed)
            moveOrResize(pos);
        else
            hoverTest(pos);
        return;
    }
    if (m_pressed) {
        if (pos != m_lastPoint) {
            m_rubberBand = QRect(std::min(pos.x(), m_lastPoint.x()), std::min(pos.y(), m_lastPoint.y()),
                                 std::abs(m_lastPoint.x() - pos.x()), std::abs(m_lastPoint.y() - pos.y()));
            update();
        }
    } else {
        updateHoveredWindow();
    }
}

void QScreenShot::mouseReleaseEvent(QMouseEvent* event)
{
    if (event->button() == Qt::RightButton) {
        emit reject();
    } else if (event->button() == Qt::LeftButton && m_pressed && !m_selected) {
        if (event->pos() == m_lastPoint)
            setCursor(Qt::SizeAllCursor);
        m_selection = currentRect();
        // Where no window is found the click takes the whole screen.
        if (m_selection.isEmpty())
            m_selection = rect();
        emit locked(this);
        m_toolbar->show();
        m_selected = true;
        update();
    }
    m_pressed = false;
}

void QScreenShot::mouseDoubleClickEvent(QMouseEvent* event)
{
    if (event->button() != Qt::LeftButton || m_locked)
        return;
    if (m_selection.isEmpty())
        m_selection = currentRect();
    if (m_selection.isEmpty())
        m_selection = rect();
    emit accept(this);
}

void QScreenShot::leaveEvent(QEvent*)
{
    updateHoveredWindow();
}

void QScreenShot::hoverTest(const QPoint& pos)
{
    const QRect g = m_frame.adjusted(-1, -1, 1, 1);
    const int l = g.left(), r = g.right(), t = g.top(), b = g.bottom();
    const int x = pos.x(), y = pos.y();
    struct Zone
    {
        HitRegion region;
        Qt::CursorShape cursor;
    } zone;
    if (!g.contains(pos))
        zone = {None, Qt::CrossCursor};
    else if (x <= l + 2 && y <= t + 2)
        zone = {TopLeft, Qt::SizeFDiagCursor};
    else if (x >= r - 2 && y <= t + 2)
        zone = {TopRight, Qt::SizeBDiagCursor};
    else if (x <= l + 2 && y >= b - 2)
        zone = {BottomLeft, Qt::SizeBDiagCursor};
    else if (x >= r - 2 && y >= b - 2)
        zone = {BottomRight, Qt::SizeFDiagCursor};
    else if (x <= l + 2)
        zone = {Left, Qt::SizeHorCursor};
    else if (x >= r - 2)
        zone = {Right, Qt::SizeHorCursor};
    else if (y <= t + 2)
        zone = {Top, Qt::SizeVerCursor};
    else if (y < b - 2)
        zone = {Move, Qt::SizeAllCursor};
    else
        zone = {Bottom, Qt::SizeVerCursor};
    m_hitRegion = zone.region;
    setCursor(zone.cursor);
}

void QScreenShot::moveOrResize(const QPoint& pos)
{
    const int dx = pos.x() - m_lastPoint.x();
    const int dy = pos.y() - m_lastPoint.y();
    m_lastPoint = pos;
    int x = m_selection.x(), y = m_selection.y(), w = m_selection.width(), h = m_selection.height();
    switch (m_hitRegion) {
    case Move:
        x += dx;
        y += dy;
        break;
    case Left:
        x += dx;
        w -= dx;
        break;
    case Right:
        w += dx;
        break;
    case Top:
        y += dy;
        h -= dy;
        break;
    case TopLeft:
        x += dx;
        y += dy;
        w -= dx;
        h -= dy;
        break;
    case TopRight:
        y += dy;
        w += dx;
        h -= dy;
        break;
    case Bottom:
        h += dy;
        break;
    case BottomLeft:
        x += dx;
        w -= dx;
        h += dy;
        break;
    case BottomRight:
        w += dx;
        h += dy;
        break;
    case None:
        return;
    }
    // Only the size has a minimum: an edge dragged past it slides the rectangle.
    m_selection = QRect(x, y, std::max(w, 20), std::max(h, 20));
    update();
}

void QScreenShot::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    painter.setPen(Qt::NoPen);
    painter.drawPixmap(0, 0, m_picture);

    const QRect r = currentRect();
    const qreal ratio = devicePixelRatioF();
    QPixmap mask(size() * ratio);
    mask.setDevicePixelRatio(ratio);
    mask.fill(Qt::transparent);
    {
        QPainter m(&mask);
        m.setCompositionMode(QPainter::CompositionMode_Source);
        m.setPen(Qt::NoPen);
        m.setBrush(QColor(0, 0, 0, 160));
        m.drawRect(QRect(QPoint(std::min(r.x(), 0), std::min(r.y(), 0)),
                         QPoint(std::max(r.right(), width()), std::max(r.bottom(), height()))));
        if (!r.isEmpty()) {
            m_frame = r.adjusted(-1, -1, 1, 1);
            m.setPen(QPen(QColor(255, 0, 0, 255), 2, Qt::SolidLine, Qt::SquareCap, Qt::MiterJoin));
            m.setBrush(QColor(0, 0, 0, 0));
            m.drawRect(m_frame);
        }
    }
    painter.drawPixmap(0, 0, mask);

    if (!r.isEmpty()) {
        drawSizeLabel(painter, r);
    } else if (platform::waylandSession()) {
        QFont font("Microsoft YaHei");
        font.setPixelSize(16);
        painter.setFont(font);
        painter.setPen(Qt::white);
        painter.drawText(rect(), Qt::AlignCenter, tr("拖动鼠标选择录制区域（此桌面上不能点选窗口）"));
    }
    placeToolbar();
}

void QScreenShot::drawSizeLabel(QPainter& painter, const QRect& r)
{
    const float s = scaleFactor();
    const int w = static_cast<int>(200.0f * s);
    const int h = static_cast<int>(24.0f * s);
    const int x = std::max(m_frame.x() + 1, 0);
    const int y = m_frame.y() > h ? m_frame.y() - h - 1 : std::max(m_frame.y() + 1, 0);

    QFont font("Microsoft YaHei");
    font.setPixelSize(12);
    painter.setFont(font);
    painter.setPen(Qt::NoPen);
    painter.setBrush(QColor(8, 8, 8, 160));
    const QRect box(x, y, w, h);
    painter.drawRect(box);
    painter.setPen(Qt::white);
    painter.drawText(box, Qt::AlignCenter, tr("%1 x %2  双击完成").arg(r.width()).arg(r.height()));
}

void QScreenShot::placeToolbar()
{
    if (!m_selected || m_frame.isEmpty())
        return;
    const int bw = m_toolbar->width();
    const int bh = m_toolbar->height();
    const QRect overlay = rect();
    const int x = std::min(m_frame.right() - bw, overlay.right() - bw);
    const int y = overlay.bottom() - m_frame.bottom() > bh
                      ? m_frame.bottom() + 2
                      : std::min(overlay.bottom() - bh, m_frame.bottom() - bh - 1);
    m_toolbar->move(x, y);
}
