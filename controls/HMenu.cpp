#include "HMenu.h"

#include "HLayout.h"
#include "HMenuItem.h"

#include <QApplication>
#include <QEvent>
#include <QHBoxLayout>
#include <QScrollArea>
#include <QScrollBar>
#include <QVBoxLayout>

namespace {
// The check mark of the chosen entry and the space before it.
constexpr int kCheckRoom = 12 + 6;
} // namespace

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
    // Sub-menus are windows of their own: the menu watches them too, so that it closes when the
    // activation leaves the menu from one of them.
    for (QWidget* item : qAsConst(items_)) {
        if (auto* entry = qobject_cast<HMenuItem*>(item); entry && entry->subMenu())
            entry->subMenu()->installEventFilter(this);
    }
    // The entries may have changed since the last time the menu was shown. A fixed width grows
    // where an entry's text would not fit in it, with room for the check mark.
    int widest = 0;
    for (QWidget* item : qAsConst(items_))
        widest = qMax(widest, item->minimumSizeHint().width() + kCheckRoom);
    widest += scrollArea_->frameWidth() * 2 + (scrollArea_->verticalScrollBarPolicy() == Qt::ScrollBarAlwaysOn
                                                   ? scrollArea_->verticalScrollBar()->sizeHint().width()
                                                   : 0);
    if (minimumWidth() == maximumWidth() && widest > width())
        setFixedWidth(widest);
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

bool HMenu::ownsWindow(const QWidget* window) const
{
    for (const QWidget* w = window; w; w = w->parentWidget()) {
        if (w == this)
            return true;
    }
    return false;
}

bool HMenu::eventFilter(QObject* watched, QEvent* event)
{
    auto* widget = static_cast<QWidget*>(watched);
    switch (event->type()) {
    case QEvent::Enter:
        if (watched == this)
            emit enter(this);
        break;
    case QEvent::WindowDeactivate:
        // Activating any other window closes the menu. The menu's own sub-menus do not count
        // (some window systems activate them when they open), nor does a sub-menu that loses the
        // activation by closing; a menu that already closed does not announce it twice.
        if (!isHidden() && !widget->isHidden() && !ownsWindow(QApplication::activeWindow()))
            hideMenu();
        break;
    case QEvent::Hide:
        // A sub-menu that held the activation hands it back to its menu when it closes.
        if (watched != this && !isHidden() &&
            (!QApplication::activeWindow() || QApplication::activeWindow() == widget))
            activateWindow();
        break;
    default:
        break;
    }
    return QWidget::eventFilter(watched, event);
}
