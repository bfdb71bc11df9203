#include "HMenuItem.h"

#include "HLayout.h"
#include "QSkin.h"

#include <QEvent>
#include <QHBoxLayout>
#include <QLabel>
#include <QTimer>

namespace {
// One press flag for all entries: a release only clicks after a press on an enabled entry.
bool s_pressed = false;

QLabel* imageLabel(const QString& path, int w, int h, QWidget* parent)
{
    auto* label = new QLabel(parent);
    label->setFixedSize(w, h);
    label->setStyleSheet(QStringLiteral("border-image:url(%1)").arg(path));
    label->hide();
    return label;
}
} // namespace

HMenuItem::HMenuItem(const QString& text, QWidget* parent) : QFrame(parent)
{
    setObjectName(QStringLiteral("HMenuItem"));
    setMinimumHeight(30);
    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(6);

    text_ = new QLabel(text, this);
    text_->setObjectName(QStringLiteral("HMenuItemText"));
    text_->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Minimum);
    text_->setProperty("status", QStringLiteral("normal"));
    layout->addWidget(text_);

    check_ = imageLabel(QStringLiteral(":/image/label.selected.png"), 12, 8, this);
    layout->addWidget(check_);
    arrow_ = imageLabel(QStringLiteral(":/image/label.expand.png"), 5, 9, this);
    layout->addWidget(arrow_);

    installEventFilter(this);
}

void HMenuItem::connectToHolder(QWidget* item, QObject* holder)
{
    QObject::connect(item, SIGNAL(sub_clicked()), holder, SLOT(onItemClicked()));
    QObject::connect(item, SIGNAL(selected(QWidget*)), holder, SIGNAL(selected(QWidget*)));
    QObject::connect(holder, SIGNAL(selected(QWidget*)), item, SLOT(onItemSelected(QWidget*)));
    QObject::connect(item, SIGNAL(enter(QWidget*)), holder, SIGNAL(enter(QWidget*)));
    QObject::connect(holder, SIGNAL(enter(QWidget*)), item, SLOT(onItemEnter(QWidget*)));
}

QString HMenuItem::text() const
{
    return text_ ? text_->text() : QString();
}

void HMenuItem::setSelected(bool on)
{
    if (on)
        emit selected(this);
    check_->setVisible(on);
}

bool HMenuItem::isSelected() const
{
    return !check_->isHidden();
}

HLayout* HMenuItem::subMenu() const
{
    return subMenu_;
}

void HMenuItem::hideSubMenu()
{
    if (subMenu_)
        subMenu_->hideAll();
}

void HMenuItem::setStatus(const QVariant& value)
{
    QSkin::setProperty(this, "status", value);
    QSkin::setProperty(check_, "status", value);
    QSkin::setProperty(text_, "status", value);
}

void HMenuItem::addSubItem(HMenuItem* sub)
{
    if (!subMenu_) {
        arrow_->show();
        check_->hide();
        subMenu_ = new HLayout(this);
        connect(subMenu_, &HLayout::clicked, this, &HMenuItem::sub_clicked);
        connect(subMenu_, &HLayout::selected, this, [this] { emit selected(this); });
    }
    subMenu_->addItem(sub);
}

void HMenuItem::onItemSelected(QWidget* item)
{
    if (item == this)
        return;
    check_->hide();
    if (subMenu_) {
        for (HMenuItem* sub : subMenu_->items())
            sub->onItemSelected(item);
    }
}

void HMenuItem::onItemEnter(QWidget* item)
{
    if (!subMenu_ || subMenu_->isHovered() || item == this)
        return;
    subMenu_->hideAll();
    setStatus(QStringLiteral("normal"));
}

void HMenuItem::onClicked()
{
    // An entry that only opens a sub-menu is not a choice.
    if (subMenu_)
        return;
    emit sub_clicked();
    if (emit clicked()) {
        emit selected(this);
        check_->show();
    }
}

bool HMenuItem::eventFilter(QObject* watched, QEvent* event)
{
    if (watched != this)
        return QFrame::eventFilter(watched, event);

    switch (event->type()) {
    case QEvent::MouseButtonPress:
        if (isEnabled()) {
            s_pressed = true;
            setStatus(QStringLiteral("pressed"));
        }
        break;
    case QEvent::MouseButtonRelease:
        if (s_pressed) {
            s_pressed = false;
            onClicked();
        }
        break;
    case QEvent::Enter:
        if (isEnabled()) {
            emit enter(this);
            emit hover_in();
            if (subMenu_) {
                subMenu_->move(parentWidget()->mapToGlobal(pos()) + QPoint(width(), 0));
                subMenu_->show();
            }
            setStatus(QStringLiteral("hover"));
        }
        break;
    case QEvent::Leave:
        if (isEnabled()) {
            emit hover_out();
            if (subMenu_) {
                // Give the pointer time to travel into the sub-menu before closing it; a pointer
                // that came back onto the entry meanwhile keeps it open too.
                QPointer<HLayout> sub = subMenu_;
                QTimer::singleShot(50, this, [this, sub] {
                    if (sub && !sub->isHovered() && !underMouse()) {
                        sub->hideAll();
                        setStatus(QStringLiteral("normal"));
                    }
                });
            } else {
                setStatus(QStringLiteral("normal"));
            }
        }
        break;
    default:
        break;
    }
    return QFrame::eventFilter(watched, event);
}
