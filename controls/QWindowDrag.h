#pragma once

#include <QPoint>

class QEvent;
class QWidget;

// Moves a top-level window while the left button, pressed on the watched widget, is held: the
// press, move and release that belong to the drag are consumed.
class QWindowDrag
{
public:
    // True when `event` was part of a drag of `window` and must not go further.
    bool handle(QWidget* window, QEvent* event);

private:
    QPoint offset_;
    bool dragging_ = false;
};
