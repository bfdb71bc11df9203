#include "QWindowDrag.h"

#include <QMouseEvent>
#include <QWidget>

bool QWindowDrag::handle(QWidget* window, QEvent* event)
{
    switch (event->type()) {
    case QEvent::MouseButtonPress: {
        auto* mouse = static_cast<QMouseEvent*>(event);
        if (mouse->button() != Qt::LeftButton)
            return false;
        dragging_ = true;
        offset_ = mouse->globalPos() - window->pos();
        return true;
    }
    case QEvent::MouseButtonRelease:
        dragging_ = false;
        return true;
    case QEvent::MouseMove: {
        auto* mouse = static_cast<QMouseEvent*>(event);
        if (!dragging_ || mouse->buttons() == Qt::NoButton)
            return false;
        window->move(mouse->globalPos() - offset_);
        return true;
    }
    default:
        return false;
    }
}
