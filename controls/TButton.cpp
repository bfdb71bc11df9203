#include "TButton.h"

#include "QSkin.h"

#include <QMouseEvent>

TButton::TButton(QWidget* parent) : QFrame(parent)
{
    setObjectName(QStringLiteral("TButton"));
}

void TButton::setCheckable(bool on)
{
    checkable_ = on;
}

bool TButton::isCheckable() const
{
    return checkable_;
}

bool TButton::isChecked() const
{
    return checked_;
}

void TButton::setChecked(bool on)
{
    if (checkable_ && on != checked_)
        checked_ = on;
}

void TButton::setStatus(const QVariant& value)
{
    QSkin::setProperty(this, "status", value);
}

void TButton::toggle()
{
    checked_ = checkable_ ? !checked_ : false;
}

void TButton::mousePressEvent(QMouseEvent* event)
{
    if (event->button() == Qt::LeftButton)
        pressed_ = true;
    update();
}

void TButton::mouseReleaseEvent(QMouseEvent* event)
{
    Q_UNUSED(event);
    // The release position is not tested: a press on the button and a release anywhere clicks.
    if (pressed_) {
        setFocus();
        toggle();
        pressed_ = false;
        emit clicked(checked_);
    }
    update();
}
