#include "HComboBox.h"

#include "HMenu.h"
#include "HMenuItem.h"
#include "QSkin.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QTimer>

HComboBox::HComboBox(QWidget* parent) : QFrame(parent)
{
    setObjectName(QStringLiteral("HComboBox"));
    setFixedHeight(32);
    auto* layout = new QHBoxLayout(this);
    layout->setSpacing(8);
    layout->setContentsMargins(8, 0, 8, 0);

    text_ = new QLabel(QStringLiteral("Button"), this);
    text_->setObjectName(QStringLiteral("comboText"));
    layout->addWidget(text_);

    arrow_ = new QLabel(this);
    arrow_->setObjectName(QStringLiteral("comboIcon"));
    arrow_->setFixedSize(8, 4);
    layout->addWidget(arrow_);

    menu_ = new HMenu(this);
    connect(menu_, &HMenu::menu_hide, this, [this] { setArrowStatus(QStringLiteral("down")); });
}

void HComboBox::addItem(const QString& text)
{
    const int index = menu_->items().size();
    if (index == 0)
        text_->setText(text);
    indexes_[text] = index;
    auto* item = new HMenuItem(text);
    connect(item, &HMenuItem::clicked, this, [this, index, text] { return onItemClicked(index, text); });
    menu_->addItem(item);
}

void HComboBox::addItems(const QStringList& texts)
{
    for (const QString& text : texts)
        addItem(text);
}

void HComboBox::setCurrentIndex(int index)
{
    const QList<QWidget*> items = menu_->items();
    if (index < 0 || index >= items.size())
        return;
    auto* item = qobject_cast<HMenuItem*>(items.at(index));
    if (!item)
        return;
    item->setSelected(true);
    text_->setText(item->text());
}

void HComboBox::setCurrentText(const QString& text)
{
    const auto it = indexes_.constFind(text);
    if (it != indexes_.constEnd())
        setCurrentIndex(it.value());
}

void HComboBox::setScrollBarVisible(bool on)
{
    menu_->setScrollBarVisible(on);
}

int HComboBox::count() const
{
    return menu_->items().size();
}

QString HComboBox::currentText() const
{
    return text_->text();
}

HMenu* HComboBox::menu() const
{
    return menu_;
}

bool HComboBox::onItemClicked(int index, QString text)
{
    bool accepted = emit currentIndexChanged(index);
    if (!accepted)
        accepted = emit currentTextChanged(text);
    if (accepted) {
        text_->setText(text);
        QTimer::singleShot(50, this, [this] { text_->update(); });
    }
    return accepted;
}

void HComboBox::mousePressEvent(QMouseEvent* event)
{
    Q_UNUSED(event);
    pressed_ = true;
    update();
}

void HComboBox::mouseReleaseEvent(QMouseEvent* event)
{
    Q_UNUSED(event);
    if (pressed_) {
        setFocus();
        setArrowStatus(QStringLiteral("up"));
        pressed_ = false;
        menu_->setFixedWidth(width());
        menu_->popup(mapToGlobal(QPoint(0, height())));
    }
    update();
}

void HComboBox::showEvent(QShowEvent* event)
{
    QFrame::showEvent(event);
    if (minimumWidth() != maximumWidth())
        return;
    // Widths were chosen for the shortest language; a longer one would lose its texts' ends.
    int widest = 0;
    for (QWidget* item : menu_->items()) {
        if (auto* entry = qobject_cast<HMenuItem*>(item))
            widest = qMax(widest, text_->fontMetrics().horizontalAdvance(entry->text()));
    }
    const QMargins margins = layout()->contentsMargins();
    const int needed = widest + text_->width() - text_->contentsRect().width() + margins.left() +
                       margins.right() + layout()->spacing() + arrow_->width() + frameWidth() * 2;
    if (needed > width())
        setFixedWidth(needed);
}

void HComboBox::setArrowStatus(const QString& status)
{
    QSkin::setProperty(arrow_, "status", status);
    // The arrow is painted once more after the list has opened or closed.
    QTimer::singleShot(50, arrow_, [this] { arrow_->update(); });
}
