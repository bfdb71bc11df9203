#include "TPushButton.h"

#include "QSkin.h"

#include <QEvent>
#include <QHBoxLayout>
#include <QLabel>

TPushButton::TPushButton(QWidget* parent) : TButton(parent)
{
    outerLayout_ = new QHBoxLayout(this);
    outerLayout_->setSpacing(6);
    outerLayout_->setContentsMargins(0, 0, 0, 0);

    innerFrame_ = new QFrame(this);
    innerFrame_->setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Preferred);
    outerLayout_->addWidget(innerFrame_);

    innerLayout_ = new QHBoxLayout(innerFrame_);
    innerLayout_->setSpacing(6);
    innerLayout_->setContentsMargins(0, 0, 0, 0);

    icon_ = new QLabel(innerFrame_);
    icon_->setObjectName(QStringLiteral("buttonIcon"));
    innerLayout_->addWidget(icon_);

    text_ = new QLabel(QStringLiteral("Button"), innerFrame_);
    text_->setObjectName(QStringLiteral("buttonText"));
    text_->setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Preferred);
    innerLayout_->addWidget(text_);

    setCursor(Qt::PointingHandCursor);
    installEventFilter(this);
}

void TPushButton::setStatus(const QVariant& value)
{
    QSkin::setProperty(this, "status", value);
    QSkin::setProperty(icon_, "status", value);
    QSkin::setProperty(text_, "status", value);
}

void TPushButton::setIconSize(int w, int h)
{
    icon_->setFixedSize(w, h);
}

void TPushButton::setIconVisible(bool visible)
{
    icon_->setVisible(visible);
}

void TPushButton::setText(const QString& text)
{
    text_->setText(text);
}

QString TPushButton::text() const
{
    return text_->text();
}

void TPushButton::setSpacing(int spacing)
{
    innerLayout_->setSpacing(spacing);
}

void TPushButton::refreshStyle()
{
    QSkin::repolish(this);
    QSkin::repolish(icon_);
    QSkin::repolish(text_);
}

bool TPushButton::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == this) {
        if (event->type() == QEvent::Enter && isEnabled())
            setStatus(QStringLiteral("hover"));
        else if (event->type() == QEvent::Leave && isEnabled() && !isChecked())
            setStatus(QStringLiteral("normal"));
    }
    return TButton::eventFilter(watched, event);
}
