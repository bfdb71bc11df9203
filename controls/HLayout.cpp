#include "HLayout.h"

#include "HMenuItem.h"

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
    return underMouse();
}

void HLayout::onItemClicked()
{
    emit clicked();
}
