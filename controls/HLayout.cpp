#include "HLayout.h"

#include "HMenuItem.h"

#include <QEvent>
#include <QFrame>
#include <QHBoxLayout>
#include <QVBoxLayout>

HLayout::HLayout(QWidget* parent) : QWidget(parent)
{
    setAttribute(Qt::WA_TranslucentBackground);
    // The panel never takes the activation from its menu, which closes on deactivation: not when
    // it opens on hover, nor when it is clicked.
    setWindowFlags(Qt::Tool | Qt::FramelessWindowHint | Qt::WindowDoesNotAcceptFocus);
    setAttribute(Qt::WA_ShowWithoutActivating);
    setMinimumSize(120, 24);
    setMaximumWidth(120);

    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    frame_ = new QFrame(this);
    frame_->setObjectName(QStringLiteral("HLayout"));
    layout->addWidget(frame_);
    frameLayout_ = new QVBoxLayout(frame_);
    frameLayout_->setContentsMargins(0, 0, 0, 0);
    frameLayout_->setSpacing(2);

    installEventFilter(this);
}

void HLayout::addItem(HMenuItem* item)
{
    frameLayout_->addWidget(item);
    items_.append(item);
    HMenuItem::connectToHolder(item, this);
}

QList<HMenuItem*> HLayout::items() const
{
    return items_;
}

void HLayout::hideAll()
{

    for (HMenuItem* item : items_)
        item->hideSubMenu();
    hide();
}

bool HLayout::isHovered() const
{
    return hovered_;
}

void HLayout::onItemClicked()
{
    emit clicked();
}

void HLayout::onItemSelected(QWidget* item)
{
    emit selected(item);
}

void HLayout::onItemEnter(QWidget* item)
{
    emit enter(item);
}

bool HLayout::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == this) {
        if (event->type() == QEvent::Enter)
            hovered_ = true;
        else if (event->type() == QEvent::Leave)
            hovered_ = false;
    }
    return QWidget::eventFilter(watched, event);
}
