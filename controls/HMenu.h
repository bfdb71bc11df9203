#pragma once

#include <QList>
#include <QWidget>

class QScrollArea;
class QVBoxLayout;

// A skinned pop-up list of HMenuItem entries with one check mark across all its sub-menus. It
// closes after a click on an entry and when another window becomes active.
class HMenu : public QWidget
{
    Q_OBJECT

public:
    explicit HMenu(QWidget* parent = nullptr);

    void addItem(QWidget* item);
    void popup(const QPoint& globalPos);
    void clear();
    QList<QWidget*> items() const;
    void setScrollBarVisible(bool on);
    // Closes every sub-menu and the menu, then emits menu_hide().
    void hideMenu();

signals:
    void selected(QWidget* item);
    void enter(QWidget* item);
    void menu_hide();

public slots:
    void onItemClicked();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    // The menu itself or one of its sub-menus.
    bool ownsWindow(const QWidget* window) const;

    QScrollArea* scrollArea_;
    QWidget* contents_;
    QVBoxLayout* contentsLayout_;
    QList<QWidget*> items_;
};
