#pragma once

#include <QList>
#include <QWidget>

class QFrame;
class QVBoxLayout;
class HMenuItem;

// The second-level list of an HMenuItem, a tool window shown beside its owning entry.
class HLayout : public QWidget
{
    Q_OBJECT

public:
    explicit HLayout(QWidget* parent);

    void addItem(HMenuItem* item);
    QList<HMenuItem*> items() const;
    // Closes the sub-menus of its entries, then hides itself.
    void hideAll();
    // True while the pointer is over the panel.
    bool isHovered() const;

signals:
    void selected(QWidget* item);
    void enter(QWidget* item);
    void clicked();

public slots:
    void onItemClicked();

private:
    QFrame* frame_;
    QVBoxLayout* frameLayout_;
    QList<HMenuItem*> items_;
};
