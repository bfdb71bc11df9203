#pragma once

#include <QFrame>
#include <QPointer>
#include <QVariant>

class QLabel;
class HLayout;

// One entry of an HMenu: a text, a check mark while it is the selected entry and, once it owns
// sub-entries, an arrow and a sub-menu that opens to its right on hover.
class HMenuItem : public QFrame
{
    Q_OBJECT

public:
    explicit HMenuItem(const QString& text, QWidget* parent = nullptr);

    QString text() const;
    // Shows the check mark (announcing the selection to the other entries) or hides it.
    void setSelected(bool on);
    bool isSelected() const;
    void addSubItem(HMenuItem* sub);
    // The sub-menu, null until the first sub-entry is added.
    HLayout* subMenu() const;
    // Closes the sub-menu and those below it.
    void hideSubMenu();
    void setStatus(const QVariant& value);

    // Wires an entry to the menu or sub-menu holding it, so that a selection or a hover reaches
    // every entry of the same holder and a click closes the holder.
    static void connectToHolder(QWidget* item, QObject* holder);

signals:
    // Asks the receiver whether the choice is accepted; false when nothing is connected.
    bool clicked();
    void sub_clicked();
    void selected(QWidget* item);
    void enter(QWidget* item);
    void hover_in();
    void hover_out();

public slots:
    void onItemSelected(QWidget* item);
    void onItemEnter(QWidget* item);
    void onClicked();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QLabel* text_;
    QLabel* check_;
    QLabel* arrow_;
    QPointer<HLayout> subMenu_;
};
