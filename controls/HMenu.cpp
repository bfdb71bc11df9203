#include "HMenu.h"

#include "HMenuItem.h"

#include <QEvent>
#include <QHBoxLayout>
#include <QScrollArea>
#include <QVBoxLayout>

HMenu::HMenu(QWidget* parent) : QWidget(parent)
{
    setAttribute(Qt::WA_TranslucentBackground);
    setWindowFlags(Qt::Tool | Qt::FramelessWindowHint);
    setMinimumSize(126, 24);
    setMaximumHeight(200);

    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);

    scrollArea_ = new QScrollArea(this);
    scrollArea_->setObjectName(QStringLiteral("HMenu"));
    scrollArea_->setWidgetResizable(true);
    scrollArea_->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    scrollArea_->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    scrollArea_->setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Preferred);
    layout->addWidget(scrollArea_);

    contents_ = new QWidget();
    contents_->setObjectName(QStringLiteral("HMenuContents"));
    contentsLayout_ = new QVBoxLayout(contents_);
    contentsLayout_->setContentsMargins(0, 5, 0, 5);
    contentsLayout_->setSpacing(0);
    scrollArea_->setWidget(contents_);

    installEventFilter(this);
}

void HMenu::addItem(QWidget* item)
{
    contentsLayout_->addWidget(item);
    items_.append(item);
    HMenuItem::connectToHolder(item, this);
}

void HMenu::popup(const QPoint& globalPos)
{
    // The entries may have changed since the last time the menu was shown.
    adjustSize();
    move(globalPos);
    show();
    activateWindow();
}

void HMenu::clear()
{
    for (QWidget* item : qAsConst(items_))
        item->deleteLater();
    items_.clear();
    contentsLayout_->update();
}

QList<QWidget*> HMenu::items() const
{
    return items_;
}

void HMenu::setScrollBarVisible(bool on)
{
    scrollArea_->setVerticalScrollBarPolicy(on ? Qt::ScrollBarAlwaysOn : Qt::ScrollBarAlwaysOff);
}

void HMenu::hideMenu()
{
    for (QWidget* item : qAsConst(items_)) {
        if (auto* entry = qobject_cast<HMenuItem*>(item))
            entry->hideSubMenu();
    }
    hide();
    emit menu_hide();
}

void HMenu::onItemClicked()
{
    hideMenu();
}

void HMenu::onItemSelected(QWidget* item)
{
    emit selected(item);
}

void HMenu::onItemEnter(QWidget* item)
{
    emit enter(item);
}

bool HMenu::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == this) {
        if (event->type() == QEvent::Enter) {
            emit enter(this);
        } else if (event->type() == QEvent::WindowDeactivate && isVisible()) {
            // Activating any other window closes the menu; a menu that already closed itself
            // (and lost activation by hiding) does not announce its closing twice.
            hideMenu();
        }
    }
    return QWidget::eventFilter(watched, event);
}
